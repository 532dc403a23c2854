// Benchmarks of the search engine on a synthetic system drive of 10 million entries: the name
// pass of a whole search (from the start of RunSearch to the publication of its list, on one
// thread) for three kinds of query, beside a floor that streams the same number of bytes with
// memchr; the summary of the results of a common query (tag counts and filter-tag view); the
// name and path sorts, how soon a stale sort stops, and the filter view of 1 million results;
// and the content scan's throughput over a folder of text files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/shutting_down.h"
#include "base/thread_pool.h"
#include "headline.h"
#include "index/drive_list.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"
#include "platform/drive_roots.h"
#include "platform/large_block.h"
#include "search/filter_view.h"
#include "search/result_summary.h"
#include "search/results.h"
#include "search/search.h"
#include "search/sort.h"
#include "search_drives.h"
#include "standin/fake_volume.h"
#include "standin/folder_volume.h"
#include "standin/synthetic_volume.h"

namespace qm {
namespace {

constexpr size_t kSortedResults = 1000000;
constexpr size_t kTextFiles = 48;
constexpr size_t kTextFileBytes = 2 << 20;

}  // namespace

SearchDrives::SearchDrives() {
  volume = std::make_unique<FakeVolume>(u"C:");
  SyntheticVolumeOptions options;
  options.seed = 7;
  options.entryCount = kDriveEntries;
  GenerateSyntheticVolume(options, *volume);
  VolumeIndexPtr index(new VolumeIndex(*volume));
  BuildVolumeIndex(*index, u"C:");
  StopMonitor(*index);  // nothing to apply; no lock taken during the runs
  drive = index.get();

  textFolder = std::filesystem::temp_directory_path() /
               ("qm-bench-text-" + std::to_string(std::random_device()()));
  WriteTextFiles();
  SetDriveRoot(u"T:", textFolder);
  folder = std::make_unique<FolderVolume>(u"T:", textFolder);
  VolumeIndexPtr folderIndex(new VolumeIndex(*folder));
  BuildVolumeIndex(*folderIndex, u"T:");
  StopMonitor(*folderIndex);

  std::lock_guard guard(driveList.mutex);
  driveList.entries.push_back(std::move(index));
  driveList.entries.push_back(std::move(folderIndex));
  driveList.indexReady = true;
}

SearchDrives::~SearchDrives() {
  // The indexes go before the volumes they were read from.
  ReleaseDrives(driveList);
  std::error_code error;
  std::filesystem::remove_all(textFolder, error);
}

// Plain text of words and numbers, one line of about 80 bytes after another.
void SearchDrives::WriteTextFiles() {
  std::filesystem::create_directories(textFolder);
  static const char* const kWords[] = {"total",  "invoice", "meeting", "report", "amount",
                                       "budget", "summary", "project", "notes",  "review"};
  std::mt19937 random(11);
  for (size_t f = 0; f < kTextFiles; ++f) {
    std::string text;
    text.reserve(kTextFileBytes + 100);
    while (text.size() < kTextFileBytes) {
      for (int w = 0; w < 10; ++w) {
        text += kWords[random() % 10];
        text += ' ';
        text += std::to_string(random() % 100000);
        text += w == 9 ? "\r\n" : " ";
      }
    }
    text.resize(kTextFileBytes);
    std::ofstream(textFolder / ("notes" + std::to_string(f) + ".txt"), std::ios::binary) << text;
    textBytes += text.size();
  }
}

SearchDrives& Drives() {
  static SearchDrives drives;
  return drives;
}

size_t SearchOnce(const std::u16string& query) {
  auto request = std::make_unique<SearchRequest>();
  request->query = query;
  request->generation = searchGeneration.fetch_add(1) + 1;
  RunSearch(std::move(request));
  std::lock_guard guard(resultsMutex);
  return currentResults ? currentResults->size() : 0;
}

namespace {

// Queries: 3 letters that few names hold, 1 letter that most hold, and 12 letters; on every
// core (the shared pool) and, for the comparison with the floor, on one thread.
void BM_NamePass(benchmark::State& state, std::u16string query, bool oneThread) {
  Drives();
  selectedDrive.store(1);  // C:
  ThreadPool alone(0);
  std::optional<PoolOverride> single;
  if (oneThread) single.emplace(alone);
  size_t found = 0;
  for (auto _ : state) found = SearchOnce(query);
  state.counters["results"] = double(found);
}
BENCHMARK_CAPTURE(BM_NamePass, rare3, std::u16string(u"bak"), false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_NamePass, rare3_1t, std::u16string(u"bak"), true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_NamePass, common1, std::u16string(u"e"), false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK_CAPTURE(BM_NamePass, long12, std::u16string(u"diagnosticda"), false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// The floor of a name pass: one buffer as large as what the pass reads, the used part of the
// drive's name pool (the records of names without a hit are not read), searched with memchr for
// a byte it does not hold.
void BM_StreamFloor(benchmark::State& state) {
  SearchDrives& drives = Drives();
  const VolumeIndex& index = *drives.drive;
  const uint64_t names = (index.names.chunks.size() - 1) * index.names.chunkSize + index.names.used;
  const size_t bytes = size_t(names * sizeof(char16_t));
  auto* buffer = static_cast<uint8_t*>(AllocateLargeBlock(bytes));
  std::memset(buffer, 'a', bytes);
  for (auto _ : state) {
    const void* found = std::memchr(buffer, 0, bytes);
    benchmark::DoNotOptimize(found);
  }
  FreeLargeBlock(buffer, bytes);
  state.counters["megabytes"] = double(bytes) / 1e6;
}
BENCHMARK(BM_StreamFloor)->Unit(benchmark::kMillisecond)->MinTime(2);

// 1 million results spread over the whole drive: every tenth record.
ResultList SpreadResults() {
  SearchDrives& drives = Drives();
  auto list = std::make_shared<MatchList>();
  const uint64_t step = RecordCount(*drives.drive) / kSortedResults;
  for (uint64_t i = 0; list->size() < kSortedResults; i += step) {
    list->push_back({drives.drive, uint32_t(i)});
  }
  return list;
}

void BM_Sort(benchmark::State& state, int32_t column) {
  const ResultList unsorted = SpreadResults();
  // Published with its summary, as a search publishes every list.
  const SummaryPtr summary =
      SummarizeResults(unsorted, filterTags.Snapshot(), selectedTag.load(), [] { return false; });
  for (auto _ : state) {
    state.PauseTiming();
    {
      std::lock_guard guard(resultsMutex);
      currentResults = unsorted;
      currentSummary = summary;
    }
    SortRequest request;
    request.generation = searchGeneration.fetch_add(1) + 1;
    request.column = uint32_t(column);
    request.ascending = true;
    state.ResumeTiming();
    RunSort(request);
  }
}
BENCHMARK_CAPTURE(BM_Sort, name, kColumnName)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Sort, path, kColumnPath)->Unit(benchmark::kMillisecond)->Iterations(3);

// The view of tag 1 (documents) over 1 million results.
void BM_FilterView(benchmark::State& state) {
  const ResultList source = SpreadResults();
  selectedTag.store(1);
  size_t kept = 0;
  for (auto _ : state) {
    auto request = std::make_unique<RefilterRequest>();
    request->source = source;
    request->generation = filterGeneration.fetch_add(1) + 1;
    RunRefilter(std::move(request));
    kept = filteredCount.load();
  }
  selectedTag.store(0);
  state.counters["kept"] = double(kept);
}
BENCHMARK(BM_FilterView)->Unit(benchmark::kMillisecond)->MinTime(1);

// The summary a search worker makes of its list before it publishes it (the hit count of every
// filter tag and the filter-tag view), over the 7.7 million results of "e": for the first tag,
// whose view is the list itself, and for the documents tag, whose view is a new list.
void BM_SummaryPass(benchmark::State& state, int32_t viewTag) {
  Drives();
  selectedDrive.store(1);  // C:
  SearchOnce(u"e");
  ResultList results;
  {
    std::lock_guard guard(resultsMutex);
    results = currentResults;
  }
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  size_t kept = 0;
  for (auto _ : state) {
    const SummaryPtr summary = SummarizeResults(results, tags, viewTag, [] { return false; });
    kept = summary->view->size();
  }
  selectedDrive.store(0);
  state.counters["results"] = double(results->size());
  state.counters["kept"] = double(kept);
}
BENCHMARK_CAPTURE(BM_SummaryPass, all, 0)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_CAPTURE(BM_SummaryPass, documents, 1)->Unit(benchmark::kMillisecond)->MinTime(2);

// How long a sort of 1 million results goes on once a newer search has made it stale (the same
// test as for shutdown): the longest wait over moments spread across a name and a path sort,
// through the copy, the keys, the standard sort and the summary.
void BM_SortStop(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const ResultList unsorted = SpreadResults();
  const SummaryPtr summary =
      SummarizeResults(unsorted, filterTags.Snapshot(), selectedTag.load(), [] { return false; });
  const auto runSort = [&unsorted, &summary](int32_t column) {
    {
      std::lock_guard guard(resultsMutex);
      currentResults = unsorted;
      currentSummary = summary;
    }
    SortRequest request;
    request.generation = searchGeneration.fetch_add(1) + 1;
    request.column = uint32_t(column);
    request.ascending = true;
    RunSort(request);
    return Clock::now();
  };
  for (auto _ : state) {
    Clock::duration worst{};
    for (int32_t column : {kColumnName, kColumnPath}) {
      const Clock::time_point start = Clock::now();
      const Clock::duration whole = runSort(column) - start;
      constexpr int kMoments = 8;
      for (int k = 1; k < kMoments; ++k) {
        Clock::time_point ended;
        std::thread sorter([&] { ended = runSort(column); });
        std::this_thread::sleep_for(whole * k / kMoments);
        const Clock::time_point stale = Clock::now();
        searchGeneration.fetch_add(1);
        sorter.join();
        worst = std::max(worst, ended - stale);
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(worst).count());
  }
}
BENCHMARK(BM_SortStop)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// A content search for a text no file holds, over the folder of text files (three threads).
void BM_ContentScan(benchmark::State& state) {
  SearchDrives& drives = Drives();
  selectedDrive.store(2);  // T:
  // Every file holds this word: the scan must find all of them, or it read nothing.
  if (SearchOnce(u"s:invoice") != kTextFiles) state.SkipWithError("the content pass found too few");
  // Absent, though its first letters are everywhere: each of them has to be looked at.
  for (auto _ : state) SearchOnce(u"s:meetings");
  selectedDrive.store(0);
  state.counters["bytes_per_s"] = benchmark::Counter(
      double(drives.textBytes) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ContentScan)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime();

}  // namespace

void CollectSearchHeadlines(const benchmark::BenchmarkReporter::Run& run) {
  const std::string name = run.benchmark_name();
  const double ms = run.GetAdjustedRealTime();  // every benchmark here reports milliseconds
  if (name.rfind("BM_NamePass/rare3/", 0) == 0) headline["name_pass_rare3_ms"] = ms;
  if (name.rfind("BM_NamePass/rare3_1t", 0) == 0) headline["name_pass_rare3_1t_ms"] = ms;
  if (name.rfind("BM_NamePass/common1", 0) == 0) headline["name_pass_common1_ms"] = ms;
  if (name.rfind("BM_NamePass/long12", 0) == 0) headline["name_pass_long12_ms"] = ms;
  if (name.rfind("BM_StreamFloor", 0) == 0) headline["stream_floor_ms"] = ms;
  if (name.rfind("BM_Sort/name", 0) == 0) headline["sort_name_1m_s"] = ms / 1000;
  if (name.rfind("BM_Sort/path", 0) == 0) headline["sort_path_1m_s"] = ms / 1000;
  if (name.rfind("BM_FilterView", 0) == 0) headline["filter_view_1m_ms"] = ms;
  if (name.rfind("BM_SummaryPass/all", 0) == 0) headline["summary_pass_ms"] = ms;
  if (name.rfind("BM_SummaryPass/documents", 0) == 0) headline["summary_pass_documents_ms"] = ms;
  if (name.rfind("BM_SortStop", 0) == 0) headline["sort_stop_ms"] = ms;
  if (name.rfind("BM_ContentScan", 0) == 0) {
    headline["content_mb_per_s"] = double(run.counters.at("bytes_per_s")) / 1e6;
  }
}

}  // namespace qm
