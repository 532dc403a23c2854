#include "search/sort.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "index/build_path.h"
#include "platform/large_block.h"
#include "search/filter_view.h"
#include "search/list_order.h"
#include "search/path_order.h"
#include "search/properties.h"
#include "search/result_summary.h"
#include "search/sort_stop.h"
#include "search/text_order.h"

namespace qm {

namespace {

// The name with A to Z folded, or empty for a record that is gone.
std::u16string FoldedName(const MatchItem& item) {
  std::shared_lock guard(item.volume->lock);
  if (item.recordIndex >= RecordCount(*item.volume)) return {};
  return FoldCase(RecordName(*item.volume, item.volume->records[item.recordIndex]));
}

std::u16string FoldedPath(const MatchItem& item) {
  std::u16string path = BuildPath(*item.volume, item.recordIndex);
  for (char16_t& c : path) c = FoldUnit(c);
  return path;
}

// The ascending order of `items` by their names (an entry whose record is gone has an empty
// one), in `order`. The keys point at the names in their drives' pools, where names stay while
// the program runs, so no name is copied. False when the sort went stale.
bool OrderByName(const MatchList& items, SortStop& stop, ListOrder* order) {
  static constexpr char16_t kNoName[] = u"";
  std::vector<TextKey, LargeBlockAllocator<TextKey>> keys;
  if (!ResizeStopping(keys, items.size(), stop)) return false;
  order->live.assign(items.size(), 0);
  const bool read =
      VisitUnderDriveLocks(items, stop, [&](size_t i, const VolumeIndex& drive, uint64_t count) {
        TextKey& key = keys[i];
        key.id = uint32_t(i);
        key.text = kNoName;
        if (items[i].recordIndex < count) {
          const FileRecord& record = drive.records[items[i].recordIndex];
          key.text = drive.names.At(record.name);
          key.length = record.nameLength;
          order->live[i] = !record.deleted;
        }
      });
  if (!read) return false;
  TextSorter sorter(stop);
  if (!sorter.Sort(keys.data(), keys.data() + keys.size())) return false;
  if (!ResizeStopping(order->positions, keys.size(), stop)) return false;
  for (size_t k = 0; k < keys.size(); ++k) order->positions[k] = keys[k].id;
  return true;
}

// `items` in the order found, read backwards for a descending sort (entries that compare equal
// may stand in any order either way), in `sorted`. False when `stop` answered true first.
bool Reorder(const MatchList& items, const ListOrder& order, bool ascending, SortStop& stop,
             MatchList* sorted) {
  const size_t n = order.positions.size();
  auto positionAt = [&](size_t k) { return order.positions[ascending ? k : n - 1 - k]; };
  sorted->reserve(n);
  for (size_t k = 0; k < n; ++k) {
    if (stop.Step()) return false;
    constexpr size_t kAhead = 8;  // the entries lie anywhere in the list
    if (k + kAhead < n) __builtin_prefetch(&items[positionAt(k + kAhead)]);
    sorted->push_back(items[positionAt(k)]);
  }
  return true;
}

struct NumericKey {
  uint32_t fileRank = 0;  // Size: 0 for a directory, 1 for a file; 0 otherwise
  int64_t size = 0;
  uint64_t time = 0;
};

NumericKey NumericKeyOf(const MatchItem& item, uint32_t column) {
  uint64_t frn = 0;
  bool directory = false;
  {
    std::shared_lock guard(item.volume->lock);
    if (item.recordIndex < RecordCount(*item.volume)) {
      const FileRecord& record = item.volume->records[item.recordIndex];
      frn = record.frn;
      directory = record.isDirectory != 0;
    }
  }
  PropertyInfo info;
  LookupProperties(*item.volume, frn, &info);
  NumericKey key;
  if (column == kColumnSize) {
    key.fileRank = directory ? 0 : 1;
    key.size = info.size;
  } else {
    key.time = column == kColumnModified ? info.lastWriteTime : info.creationTime;
  }
  return key;
}

bool NumericLess(const NumericKey& a, const NumericKey& b) {
  if (a.fileRank != b.fileRank) return a.fileRank < b.fileRank;
  if (a.size != b.size) return a.size < b.size;
  return a.time < b.time;
}

// Sorts `items` by keys computed once per entry. False when the sort went stale (the items are
// then left as they were).
template <typename Key, typename MakeKey, typename Less>
bool SortByKeys(MatchList& items, bool ascending, SortStop& stop, MakeKey makeKey, Less less) {
  std::vector<std::pair<Key, MatchItem>> keyed;
  keyed.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (stop.Step()) return false;
    keyed.emplace_back(makeKey(items[i]), items[i]);
  }
  const bool complete =
      ascending ? SortStopping(keyed.begin(), keyed.end(), stop,
                               [&](const auto& a, const auto& b) { return less(a.first, b.first); })
                : SortStopping(keyed.begin(), keyed.end(), stop, [&](const auto& a, const auto& b) {
                    return less(b.first, a.first);
                  });
  if (!complete) return false;
  for (size_t i = 0; i < items.size(); ++i) items[i] = keyed[i].second;
  return true;
}

}  // namespace

bool SortStop::Check() const {
  return IsStale(generation_);
}

bool RequestSort(int32_t column) {
  if (column < kColumnName || column > kColumnPath) return false;
  if (sortColumn.load() == column) {
    sortAscending.store(!sortAscending.load());
  } else {
    sortColumn.store(column);
    sortAscending.store(true);
  }
  SortRequest request;
  request.generation = searchGeneration.fetch_add(1) + 1;
  request.column = uint32_t(column);
  request.ascending = sortAscending.load();
  // No thread (or shutdown has begun): the request is dropped and the list keeps its order.
  return StartWorker([request] { RunSort(request); });
}

void RunSort(const SortRequest& request) {
  ResultList published;
  SummaryPtr publishedSummary;
  {
    std::lock_guard guard(resultsMutex);
    published = currentResults;
    publishedSummary = currentSummary;
  }
  if (!published || published->empty()) return;
  if (IsStale(request.generation)) return;

  const uint32_t column = request.column;
  if (column == kColumnSize || column == kColumnModified || column == kColumnCreated) {
    ExtractProperties(*published, request.generation);
  }
  if (IsStale(request.generation)) return;

  // The name and path orders read the published list and make the sorted one from it; the
  // other columns sort a copy in place.
  SortStop stop(request.generation);
  bool complete = true;
  ListOrder order;
  MatchList items;
  switch (column) {
    case kColumnName:
    case kColumnPath:
      complete = column == kColumnName ? OrderByName(*published, stop, &order)
                                       : OrderByPath(*published, stop, &order);
      complete = complete && Reorder(*published, order, request.ascending, stop, &items);
      break;
    case kColumnSize:
    case kColumnModified:
    case kColumnCreated:
      items = *published;
      complete = SortByKeys<NumericKey>(
          items, request.ascending, stop,
          [column](const MatchItem& item) { return NumericKeyOf(item, column); }, NumericLess);
      break;
    default:
      items = *published;  // every entry equal: the order stays
      break;
  }
  if (!complete || IsStale(request.generation)) return;

  ResultList sorted = std::make_shared<const MatchList>(std::move(items));
  // The counts stay, but the view follows the new order. The summary published with the list
  // serves when it was made for the tags and the tag selected now: a name or path sort has read
  // every record already, so the view needs no second pass over them.
  SummaryPtr summary;
  if (!order.positions.empty() && publishedSummary && publishedSummary->list == published &&
      publishedSummary->tags == filterTags.Snapshot() &&
      publishedSummary->viewTag == selectedTag.load()) {
    summary = ReorderSummary(*publishedSummary, sorted, order, request.ascending, stop);
  } else {
    summary = SummarizeForPublication(sorted, request.generation);
  }
  published.reset();
  publishedSummary.reset();
  if (!summary) return;
  ResultList previous;  // released after the mutex
  SummaryPtr previousSummary;
  {
    std::lock_guard guard(resultsMutex);
    // Checked again under the lock: a search that started after the check above may already
    // have published, and its list must not be replaced by this older one.
    if (IsStale(request.generation)) return;
    previous = std::exchange(currentResults, std::move(sorted));
    previousSummary = std::exchange(currentSummary, std::move(summary));
  }
  PostToMainWindow(WM_SEARCH_DONE, uintptr_t(request.generation), 1);
}

bool CompareItems(const MatchItem& a, const MatchItem& b, uint32_t column, bool ascending) {
  const MatchItem& first = ascending ? a : b;
  const MatchItem& second = ascending ? b : a;
  switch (column) {
    case kColumnName:
      return FoldedName(first) < FoldedName(second);
    case kColumnPath:
      return FoldedPath(first) < FoldedPath(second);
    case kColumnSize:
    case kColumnModified:
    case kColumnCreated:
      return NumericLess(NumericKeyOf(first, column), NumericKeyOf(second, column));
    default:
      return false;
  }
}

}  // namespace qm
