#include "search/sort.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/main_window.h"
#include "app/shutting_down.h"
#include "app/window_messages.h"
#include "index/build_path.h"
#include "search/properties.h"

namespace qm {

namespace {

bool Stale(uint64_t generation) {
  return searchGeneration.load() != generation || ShuttingDown();
}

// Every how many entries the key building looks for staleness.
constexpr size_t kCheckEvery = 1024;

// The lower-case name (A to Z folded, as stored), or empty for a record that is gone.
std::u16string FoldedName(const MatchItem& item) {
  std::shared_lock guard(item.volume->lock);
  if (item.recordIndex >= RecordCount(*item.volume)) return {};
  const FileRecord& record = item.volume->records[item.recordIndex];
  return std::u16string(record.lowerName(), record.nameLength);
}

std::u16string FoldedPath(const MatchItem& item) {
  std::u16string path = BuildPath(*item.volume, item.recordIndex);
  for (char16_t& c : path) c = FoldUnit(c);
  return path;
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

// Sorts `items` by keys computed once per entry. False when the sort went stale while the keys
// were built (the items are then left in any order).
template <typename Key, typename MakeKey, typename Less>
bool SortByKeys(std::vector<MatchItem>& items, bool ascending, uint64_t generation, MakeKey makeKey,
                Less less) {
  std::vector<std::pair<Key, MatchItem>> keyed;
  keyed.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (i % kCheckEvery == 0 && Stale(generation)) return false;
    keyed.emplace_back(makeKey(items[i]), items[i]);
  }
  if (ascending) {
    std::sort(keyed.begin(), keyed.end(),
              [&](const auto& a, const auto& b) { return less(a.first, b.first); });
  } else {
    std::sort(keyed.begin(), keyed.end(),
              [&](const auto& a, const auto& b) { return less(b.first, a.first); });
  }
  for (size_t i = 0; i < items.size(); ++i) items[i] = keyed[i].second;
  return true;
}

}  // namespace

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
  try {
    std::thread(RunSort, request).detach();
  } catch (const std::system_error&) {
    return false;  // no thread: the request is dropped and the list keeps its order
  }
  return true;
}

void RunSort(const SortRequest& request) {
  ResultList published;
  {
    std::lock_guard guard(resultsMutex);
    published = currentResults;
  }
  if (!published || published->empty()) return;
  if (Stale(request.generation)) return;

  std::vector<MatchItem> items(*published);
  published.reset();

  const uint32_t column = request.column;
  if (column == kColumnSize || column == kColumnModified || column == kColumnCreated) {
    ExtractProperties(items, request.generation);
  }
  if (Stale(request.generation)) return;

  bool complete = true;
  switch (column) {
    case kColumnName:
      complete = SortByKeys<std::u16string>(items, request.ascending, request.generation,
                                            FoldedName, std::less<std::u16string>());
      break;
    case kColumnPath:
      complete = SortByKeys<std::u16string>(items, request.ascending, request.generation,
                                            FoldedPath, std::less<std::u16string>());
      break;
    case kColumnSize:
    case kColumnModified:
    case kColumnCreated:
      complete = SortByKeys<NumericKey>(
          items, request.ascending, request.generation,
          [column](const MatchItem& item) { return NumericKeyOf(item, column); }, NumericLess);
      break;
    default:
      break;  // every entry equal: the order stays
  }
  if (!complete || Stale(request.generation)) return;

  auto sorted = std::make_shared<const std::vector<MatchItem>>(std::move(items));
  {
    std::lock_guard guard(resultsMutex);
    // Checked again under the lock: a search that started after the check above may already
    // have published, and its list must not be replaced by this older one.
    if (Stale(request.generation)) return;
    currentResults = std::move(sorted);
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
