#include "search/search.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/thread_pool.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "config/trim_blanks.h"
#include "index/build_path.h"
#include "index/drive_list.h"
#include "index/path_lookup.h"
#include "search/content_search.h"
#include "search/filter_view.h"
#include "search/name_pass.h"
#include "search/name_scan.h"
#include "search/query.h"
#include "search/result_summary.h"
#include "view/recent_opens.h"

namespace qm {

std::atomic<int> activeSearchWorkers{0};

namespace {

constexpr size_t kReservedResults = 100000;

// True when `item` names a record that exists and is not deleted.
bool IsLive(const MatchItem& item) {
  if (!item.volume) return false;
  std::shared_lock guard(item.volume->lock);
  return item.recordIndex < RecordCount(*item.volume) &&
         !item.volume->records[item.recordIndex].deleted;
}

// The name pass over one drive: its records split into ranges of one store segment, scanned
// by the shared pool, and their matches joined in record order, so the list is the one a single
// pass makes. Each range counts its matches into `tally` as it finds them; `view` receives the
// entries the view keeps unless it keeps all. False when the search was stopped.
bool SearchDrive(VolumeIndex& drive, std::u16string_view folded, uint64_t generation,
                 MatchList& results, SummaryTally& tally, MatchList* view) {
  std::shared_lock guard(drive.lock);
  // Only the journal monitor appends records, and it takes the lock exclusively: while this
  // pass holds it shared the count cannot change, and the pool's threads read under it too
  // (this thread waits for them before it releases the lock).
  const uint64_t count = RecordCount(drive);
  const NameScanner scanner(folded);
  constexpr uint64_t kRange = RecordDeque::kSegmentRecords;
  const size_t ranges = size_t((count + kRange - 1) / kRange);
  std::vector<std::vector<uint32_t>> matches(ranges);
  std::vector<SummaryTally::Part> parts(ranges, tally.NewPart());
  ExtensionTable::CodeEntries byCode;
  tally.EntriesOfCodes(drive, byCode);
  std::atomic<bool> stopped{false};
  const PassStop stop{generation, &stopped};
  SharedPool().ParallelFor(ranges, [&](size_t r) {
    const uint64_t begin = r * kRange;
    if (!ScanRecordRange(drive, scanner, folded.empty(), begin, std::min(count, begin + kRange),
                         stop, matches[r], RangeTally{tally, parts[r], byCode})) {
      stopped.store(true);
    }
  });
  if (stopped.load()) return false;
  // Joined on the pool too: the list is sized once (its new entries left unwritten), and each
  // range writes its matches to its place, taking the fresh memory's page faults beside the
  // others.
  std::vector<size_t> offsets(ranges + 1, results.size());
  for (size_t r = 0; r < ranges; ++r) offsets[r + 1] = offsets[r] + matches[r].size();
  results.reserve(offsets[ranges]);
  results.resize(offsets[ranges]);
  SharedPool().ParallelFor(ranges, [&](size_t r) {
    MatchItem* out = results.data() + offsets[r];
    for (uint32_t index : matches[r]) *out++ = MatchItem{&drive, index};
    std::vector<uint32_t>().swap(matches[r]);
  });
  for (size_t r = 0; r < ranges; ++r) {
    tally.Add(parts[r]);
    if (view) {
      for (uint32_t index : parts[r].kept) view->push_back({&drive, index});
    }
  }
  return true;
}

}  // namespace

void StartSearch(std::u16string query, bool keepSort, bool showRecent) {
  const uint64_t generation = searchGeneration.fetch_add(1) + 1;
  TrimBlanks(query);
  if (!query.empty() && !showRecent) {
    auto request =
        std::make_unique<SearchRequest>(SearchRequest{std::move(query), generation, keepSort});
    activeSearchWorkers.fetch_add(1);
    const bool started = StartWorker([request = std::move(request)]() mutable {
      RunSearch(std::move(request));
      activeSearchWorkers.fetch_sub(1);
    });
    // No thread (or shutdown has begun): this request is dropped. The window keeps the list it
    // shows; the next keystroke tries again.
    if (!started) activeSearchWorkers.fetch_sub(1);
    return;
  }
  std::lock_guard guard(resultsMutex);
  currentResults = BuildRecentResults();
  // A handful of entries: summarised here, like a worker's list, so that the window finds a
  // summary with every list.
  currentSummary = SummarizeForPublication(currentResults, generation);
  if (!keepSort) sortColumn.store(-1);
  PostToMainWindow(WM_SEARCH_DONE, uintptr_t(generation), 0);
}

void RefreshEmptyQuery(std::u16string_view searchBoxText) {
  if (searchBoxText.empty()) StartSearch(std::u16string(), false, true);
}

void RunSearch(std::unique_ptr<SearchRequest> request) {
  if (ShuttingDown()) return;
  // The drives, copied once: the list no longer changes after indexReady is set.
  std::vector<VolumeIndex*> drives;
  {
    std::lock_guard guard(driveList.mutex);
    if (!driveList.indexReady) return;
    drives.reserve(driveList.entries.size());
    for (const VolumeIndexPtr& drive : driveList.entries) drives.push_back(drive.get());
  }

  const ParsedQuery parsed = ParseQuery(request->query);
  const std::u16string folded = FoldCase(request->query);
  const uint64_t generation = request->generation;

  auto results = std::make_shared<MatchList>();

  // 0 is ALL; k is the k-th drive. A position beyond the list names no drive: nothing is
  // searched and the list comes out empty rather than reading past the end.
  const int64_t selected = int64_t(selectedDrive.load()) - 1;
  const bool knownDrive = selected < 0 || uint64_t(selected) < drives.size();

  // The tag counts and the view are made here rather than on the window thread: by the name
  // pass as it finds the matches, by a pass of their own after a content search. An unknown
  // drive takes the name pass's way and searches none.
  SummaryPtr summary;
  if (knownDrive && parsed.isContent) {
    results->reserve(kReservedResults);  // its matches arrive a batch at a time
    if (!RunContentPass(parsed, generation, selected < 0 ? -1 : int32_t(selected), *results))
      return;
    summary = SummarizeForPublication(results, generation);
  } else {
    SummaryTally tally(filterTags.Snapshot(), selectedTag.load());
    auto view = tally.KeepsAll() ? nullptr : std::make_shared<MatchList>();
    for (size_t d = 0; d < drives.size(); ++d) {
      if (selected >= 0 && uint64_t(selected) != d) continue;
      if (!SearchDrive(*drives[d], folded, generation, *results, tally, view.get())) return;
    }
    summary = tally.Finish(results, std::move(view));
  }
  if (!summary) return;

  // Released after the mutex, when this was their last holder.
  ResultList previous;
  SummaryPtr previousSummary;
  {
    // Checked under the mutex: a newer request that publishes synchronously (the recent
    // list) has raised the generation before it takes the mutex, so a stale list can never
    // replace a newer one.
    std::lock_guard guard(resultsMutex);
    if (IsStale(generation)) return;
    previous = std::exchange(currentResults, std::move(results));
    previousSummary = std::exchange(currentSummary, std::move(summary));
    if (!request->keepSort) sortColumn.store(-1);
  }
  PostToMainWindow(WM_SEARCH_DONE, uintptr_t(generation), 0);
}

ResultList BuildRecentResults() {
  auto list = std::make_shared<MatchList>();
  std::lock_guard guard(recentMutex);
  for (RecentEntry& entry : recentOpens) {
    bool live = IsLive(entry.item);
    if (!live && !entry.path.empty()) {
      MatchItem found;
      if (FindRecordByPath(entry.path, &found)) {
        entry.item = found;
        live = true;
      }
    }
    if (live) list->push_back(entry.item);
  }
  return list;
}

bool FindRecordByPath(std::u16string_view path, MatchItem* out) {
  if (path.size() < 3) return false;
  const std::u16string normalized = NormalizePath(std::u16string(path));
  const std::u16string drive = normalized.substr(0, 2);
  std::lock_guard listGuard(driveList.mutex);
  for (const VolumeIndexPtr& index : driveList.entries) {
    if (NormalizePath(index->drive) != drive) continue;
    uint32_t found = 0;
    if (FindPathOnDrive(*index, normalized, &found)) {
      *out = MatchItem{index.get(), found};
      return true;
    }
  }
  return false;
}

bool FindEntryByTypedPath(std::u16string_view path, MatchItem* out) {
  auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  const bool rooted = path.size() >= 3 && path[1] == u':' && separator(path[2]);
  while (path.size() > 3 && separator(path.back())) path.remove_suffix(1);
  if (!rooted || path.size() > 3 || !separator(path.back())) return FindRecordByPath(path, out);

  // The root folder's own full path is "C:\." (its name under itself).
  const std::u16string drive = NormalizePath(std::u16string(path.substr(0, 2)));
  std::lock_guard listGuard(driveList.mutex);
  for (const VolumeIndexPtr& index : driveList.entries) {
    if (NormalizePath(index->drive) != drive) continue;
    std::shared_lock guard(index->lock);
    const uint32_t* root = index->hasRoot ? index->indexByFrn.Find(index->rootFrn) : nullptr;
    if (!root || index->records[*root].deleted) return false;
    *out = MatchItem{index.get(), uint32_t(*root)};
    return true;
  }
  return false;
}

bool ParentItem(MatchItem item, MatchItem* parent) {
  if (!item.volume) return false;
  const VolumeIndex& drive = *item.volume;
  std::shared_lock guard(drive.lock);
  const uint64_t count = RecordCount(drive);
  if (item.recordIndex >= count) return false;
  const uint32_t* found = drive.indexByFrn.Find(drive.records[item.recordIndex].parentFrn);
  if (!found || *found >= count || drive.records[*found].deleted) return false;
  *parent = MatchItem{item.volume, uint32_t(*found)};
  return true;
}

}  // namespace qm
