// Benchmarks of the window thread's share of a keystroke, on the 10-million-entry drive of the
// search benchmarks: handling WM_SEARCH_DONE for "e" (about 7.7 million results) with the tag
// counts and the first screen of rows, and building one full screen of rows (a 1000 x 600
// window) anywhere in that list. The search itself runs before, untimed, as its worker would.
#include <benchmark/benchmark.h>

#include <optional>
#include <random>
#include <string>

#include "app/window_model.h"
#include "base/main_window.h"
#include "headline.h"
#include "search/filter_view.h"
#include "search/results.h"
#include "search_drives.h"

namespace qm {
namespace {

// The client area of the window as created (1000 x 600 outside): what one screen shows.
constexpr int32_t kClientWidth = 984;
constexpr int32_t kClientHeight = 561;

// Searches "e" as the worker would (publishing the list with its tag counts and view).
uint64_t PublishCommonSearch() {
  Drives();
  selectedDrive.store(1);  // C:, the 10-million-entry drive
  selectedTag.store(0);
  SearchOnce(u"e");
  return searchGeneration.load();
}

void BM_UiSearchDone(benchmark::State& state) {
  const uint64_t generation = PublishCommonSearch();
  size_t results = 0;
  for (auto _ : state) {
    WindowModel model;
    ResizeList(model, kClientWidth, kClientHeight);
    const std::optional<ShownTexts> shown = AcceptSearchDone(model, generation, false);
    const std::optional<ListPaint> paint = PrepareListPaint(model, u"e");
    results = paint ? paint->list->size() : 0;
    benchmark::DoNotOptimize(shown);
  }
  state.counters["results"] = double(results);
}
BENCHMARK(BM_UiSearchDone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UiPaintRows(benchmark::State& state) {
  const uint64_t generation = PublishCommonSearch();
  WindowModel model;
  ResizeList(model, kClientWidth, kClientHeight);
  AcceptSearchDone(model, generation, false);
  const uint64_t rows = GetDisplayList()->size();
  // While the thumb is dragged the rows read only cached properties: this is the model's
  // own cost, without the file system.
  model.thumbTracking = true;
  std::mt19937_64 random(5);
  size_t built = 0;
  for (auto _ : state) {
    model.scrollOffset = int64_t(random() % rows) * kRowHeight;
    const std::optional<ListPaint> paint = PrepareListPaint(model, u"e");
    built = paint ? paint->cells.size() : 0;
    benchmark::DoNotOptimize(paint);
  }
  state.counters["rows"] = double(built);
}
BENCHMARK(BM_UiPaintRows)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

void CollectWindowHeadlines(const benchmark::BenchmarkReporter::Run& run) {
  const std::string name = run.benchmark_name();
  if (name.rfind("BM_UiSearchDone", 0) == 0)
    headline["ui_search_done_ms"] = run.GetAdjustedRealTime();
  if (name.rfind("BM_UiPaintRows", 0) == 0)
    headline["ui_paint_rows_us"] = run.GetAdjustedRealTime();
}

}  // namespace qm
