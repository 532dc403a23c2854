// Benchmarks of the window thread's share of a keystroke, on the 10-million-entry drive of the
// search benchmarks: handling WM_SEARCH_DONE for "e" (about 7.7 million results) with the tag
// counts and the first screen of rows, and building one full screen of rows (a 1000 x 600
// window) anywhere in that list; and the recent list of an empty search box. The search itself
// runs before, untimed, as its worker would.
#include <benchmark/benchmark.h>

#include <mutex>
#include <optional>
#include <random>
#include <shared_mutex>
#include <string>
#include <vector>

#include "app/window_model.h"
#include "base/main_window.h"
#include "headline.h"
#include "index/build_path.h"
#include "search/filter_view.h"
#include "search/results.h"
#include "search/search.h"
#include "search_drives.h"
#include "view/recent_opens.h"

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

// The list an empty search box shows, with the program's maximum of 100 recent opens read
// from recent.ini (no record yet, so each is looked up by its path): paths of existing entries
// of C: (state.range(0) == 0), or the same paths with their last name changed, so that every
// lookup follows the folders and then finds nothing (1).
void BM_RecentList(benchmark::State& state) {
  VolumeIndex& drive = *Drives().drive;
  const bool gone = state.range(0) == 1;
  std::vector<RecentEntry> entries;
  std::mt19937_64 random(7);
  uint64_t count = 0;
  {
    std::shared_lock guard(drive.lock);
    count = RecordCount(drive);
  }
  while (entries.size() < kMaxRecentOpens) {
    const uint32_t index = uint32_t(random() % count);
    {
      std::shared_lock guard(drive.lock);
      if (drive.records[index].deleted) continue;
    }
    RecentEntry entry;
    entry.path = BuildPath(drive, index);
    if (gone) entry.path += u"~gone";
    entries.push_back(std::move(entry));
  }
  size_t shown = 0;
  for (auto _ : state) {
    {
      std::lock_guard guard(recentMutex);
      recentOpens = entries;  // unresolved again, as read from the file
    }
    std::lock_guard guard(resultsMutex);
    shown = BuildRecentResults()->size();
  }
  state.counters["shown"] = double(shown);
  std::lock_guard guard(recentMutex);
  recentOpens.clear();
}
BENCHMARK(BM_RecentList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

void CollectWindowHeadlines(const benchmark::BenchmarkReporter::Run& run) {
  const std::string name = run.benchmark_name();
  if (name.rfind("BM_UiSearchDone", 0) == 0)
    headline["ui_search_done_ms"] = run.GetAdjustedRealTime();
  if (name.rfind("BM_UiPaintRows", 0) == 0)
    headline["ui_paint_rows_us"] = run.GetAdjustedRealTime();
  if (name.rfind("BM_RecentList/0", 0) == 0)
    headline["recent_100_found_ms"] = run.GetAdjustedRealTime();
  if (name.rfind("BM_RecentList/1", 0) == 0)
    headline["recent_100_gone_ms"] = run.GetAdjustedRealTime();
}

}  // namespace qm
