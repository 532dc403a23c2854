#include "search/sort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "index/build_path.h"
#include "index/frn_map.h"
#include "platform/large_block.h"
#include "search/properties.h"
#include "search/result_summary.h"

namespace qm {

namespace {

// Every how many entries the key building looks for staleness.
constexpr size_t kCheckEvery = 1024;

// The standard sort cannot be interrupted, and on a million entries it runs for more than half a
// second. So the comparison itself looks for staleness every kCheckEvery calls and, once the
// sort is stale, throws this; SortStopping catches it. The half-sorted keys are then dropped.
struct SortAbandoned {};

// Sorts [first, last) by `less`; false when the sort went stale before it ended (the range is
// then in no particular order).
template <typename Iterator, typename Less>
bool SortStopping(Iterator first, Iterator last, uint64_t generation, Less less) {
  size_t calls = 0;
  auto stoppingLess = [&calls, generation, &less](const auto& a, const auto& b) {
    if (++calls % kCheckEvery == 0 && IsStale(generation)) throw SortAbandoned{};
    return less(a, b);
  };
  try {
    std::sort(first, last, stoppingLess);
  } catch (const SortAbandoned&) {
    return false;
  }
  return true;
}

// The name with A to Z folded, or empty for a record that is gone.
std::u16string FoldedName(const MatchItem& item) {
  std::shared_lock guard(item.volume->lock);
  if (item.recordIndex >= RecordCount(*item.volume)) return {};
  return FoldCase(RecordName(*item.volume, item.volume->records[item.recordIndex]));
}

// Appends the record's name with A to Z folded.
void AppendFolded(const VolumeIndex& drive, const FileRecord& record, std::u16string* out) {
  for (char16_t c : RecordName(drive, record)) *out += FoldUnit(c);
}

std::u16string FoldedPath(const MatchItem& item) {
  std::u16string path = BuildPath(*item.volume, item.recordIndex);
  for (char16_t& c : path) c = FoldUnit(c);
  return path;
}

// Text kept for one sort, in large blocks that never move or grow. A single buffer of hundreds
// of megabytes would grow by copying itself, a step that cannot be interrupted and takes up to a
// second; here a full block is left for a new one, and a stored text keeps its address.
class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;
  ~TextArena() {
    for (const Block& block : blocks_) FreeLargeBlock(block.units, block.size * sizeof(char16_t));
  }

  // Room for `units` units, valid as long as the arena.
  char16_t* Allocate(size_t units) {
    if (units > free_ || next_ == nullptr) {  // an empty text, too, gets a real address
      const size_t size = std::max(units, kBlockUnits);
      blocks_.reserve(blocks_.size() + 1);  // the push below cannot fail after the allocation
      blocks_.push_back(
          {static_cast<char16_t*>(AllocateLargeBlock(size * sizeof(char16_t))), size});
      next_ = blocks_.back().units;
      free_ = size;
    }
    char16_t* room = next_;
    next_ += units;
    free_ -= units;
    return room;
  }

 private:
  static constexpr size_t kBlockUnits = size_t(1) << 22;  // 8 MiB

  struct Block {
    char16_t* units;
    size_t size;
  };
  std::vector<Block> blocks_;
  char16_t* next_ = nullptr;
  size_t free_ = 0;
};

// Folded full paths for a whole list, the same as BuildPath's: each directory's path is built
// once, from its parent's, and kept for every entry below it.
class PathKeyMaker {
 public:
  void Make(const MatchItem& item, std::u16string* key) {
    const VolumeIndex& drive = *item.volume;
    if (&drive != drive_) {
      drive_ = &drive;
      folders_ = &foldersByDrive_[&drive];
      folded_.assign(drive.drive);
      for (char16_t& c : folded_) c = FoldUnit(c);
    }
    key->clear();
    bool whole = false;
    {
      std::shared_lock guard(drive.lock);
      const uint64_t count = RecordCount(drive);
      if (item.recordIndex < count) {
        const FileRecord& record = drive.records[item.recordIndex];
        whole = AppendFolder(drive, count, record.parentFrn, key);
        if (whole) {
          *key += u'\\';
          AppendFolded(drive, record, key);
        }
      }
    }
    if (!whole) {
      *key = BuildPath(drive, item.recordIndex);
      for (char16_t& c : *key) c = FoldUnit(c);
    }
  }

 private:
  struct Folder {
    const char16_t* path;  // in paths_
    uint32_t length;
    uint32_t depth;  // names after the drive
  };

  // Appends the folded path of the folder `parentFrn` names, as the path of an entry inside it
  // begins (the drive alone when there is no such folder or it is the root), remembering it and
  // every folder above it. False when the path is cut at the depth limit (or the folders form a
  // loop): the entry's own path must then be built whole. Caller holds the drive's lock shared.
  bool AppendFolder(const VolumeIndex& drive, uint64_t count, uint64_t parentFrn,
                    std::u16string* out) {
    // Folders not yet known, lowest first, up to a known one or the top.
    chain_.clear();
    std::optional<Folder> known;  // a copy: the list grows below
    for (uint64_t frn = parentFrn;;) {
      const uint32_t* found = drive.indexByFrn.Find(frn);
      if (!found || *found >= count || *found == folders_->root) break;
      // Known folders are looked up before their record is read: on a large drive that record
      // is far away in memory, and most entries lie in folders met before.
      if (const uint32_t* slot = folders_->byRecord.Find(*found)) {
        known = folders_->list[*slot];
        break;
      }
      const FileRecord& folder = drive.records[*found];
      if (folder.frn == folder.parentFrn) {  // the root
        folders_->root = *found;
        break;
      }
      if (chain_.size() == size_t(kMaxPathDepth)) return false;
      chain_.push_back(*found);
      frn = folder.parentFrn;
    }
    const uint32_t depth = uint32_t((known ? known->depth : 0) + chain_.size());
    if (depth > uint32_t(kMaxPathDepth)) return false;
    // Built from the top down, each folder's path stored once; the top folder's path starts
    // with the drive alone.
    const char16_t* parent = known ? known->path : folded_.data();
    uint32_t length = known ? known->length : uint32_t(folded_.size());
    uint32_t level = known ? known->depth : 0;
    for (size_t k = chain_.size(); k-- > 0;) {
      const FileRecord& folder = drive.records[chain_[k]];
      char16_t* path = paths_.Allocate(length + 1 + folder.nameLength);
      std::copy_n(parent, length, path);
      path[length] = u'\\';
      const char16_t* name = drive.names.At(folder.name);
      for (uint32_t u = 0; u < folder.nameLength; ++u) path[length + 1 + u] = FoldUnit(name[u]);
      parent = path;
      length += 1 + folder.nameLength;
      ++level;
      folders_->byRecord.Set(chain_[k], uint32_t(folders_->list.size()));
      folders_->list.push_back(Folder{path, length, level});
    }
    out->append(parent, length);
    return true;
  }

  // The folders met on one drive.
  struct DriveFolders {
    FrnMap byRecord;  // record index -> position in list
    std::vector<Folder> list;
    uint64_t root = ~uint64_t(0);  // the root's record index, once met
  };

  std::map<const VolumeIndex*, DriveFolders> foldersByDrive_;
  TextArena paths_;  // every folder path, one by one
  std::vector<uint64_t> chain_;
  const VolumeIndex* drive_ = nullptr;
  DriveFolders* folders_ = nullptr;
  std::u16string folded_;  // drive_'s name, folded
};

// Sorts `items` by text keys (folded names or paths) computed once per entry. The keys lie in
// one buffer as big-endian units, so that memcmp orders them unit by unit by numeric value,
// and the sort moves 16-byte references to them. False when the sort went stale (the items are
// then left as they were).
template <typename MakeKey>
bool SortByText(MatchList& items, bool ascending, uint64_t generation, MakeKey makeKey) {
  struct Keyed {
    const char16_t* text;  // in keys
    uint32_t length;
    uint32_t position;  // in items
  };
  // Both may reach hundreds of megabytes: taken from large blocks, not the heap, and never
  // grown (keyed is as long as items).
  TextArena keys;
  std::vector<Keyed, LargeBlockAllocator<Keyed>> keyed;
  keyed.reserve(items.size());
  std::u16string key;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i % kCheckEvery == 0 && IsStale(generation)) return false;
    makeKey(items[i], &key);
    char16_t* text = keys.Allocate(key.size());
    for (size_t u = 0; u < key.size(); ++u) {
      char16_t c = key[u];
      if constexpr (std::endian::native == std::endian::little) c = char16_t(c << 8 | c >> 8);
      text[u] = c;
    }
    keyed.push_back({text, uint32_t(key.size()), uint32_t(i)});
  }
  auto less = [](const Keyed& a, const Keyed& b) {
    const uint32_t common = std::min(a.length, b.length);
    const int order = std::memcmp(a.text, b.text, common * sizeof(char16_t));
    return order != 0 ? order < 0 : a.length < b.length;
  };
  const bool complete =
      ascending ? SortStopping(keyed.begin(), keyed.end(), generation, less)
                : SortStopping(keyed.begin(), keyed.end(), generation,
                               [&](const Keyed& a, const Keyed& b) { return less(b, a); });
  if (!complete) return false;
  MatchList sorted;
  sorted.reserve(items.size());
  for (const Keyed& k : keyed) sorted.push_back(items[k.position]);
  items = std::move(sorted);
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
bool SortByKeys(MatchList& items, bool ascending, uint64_t generation, MakeKey makeKey, Less less) {
  std::vector<std::pair<Key, MatchItem>> keyed;
  keyed.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (i % kCheckEvery == 0 && IsStale(generation)) return false;
    keyed.emplace_back(makeKey(items[i]), items[i]);
  }
  const bool complete =
      ascending
          ? SortStopping(keyed.begin(), keyed.end(), generation,
                         [&](const auto& a, const auto& b) { return less(a.first, b.first); })
          : SortStopping(keyed.begin(), keyed.end(), generation,
                         [&](const auto& a, const auto& b) { return less(b.first, a.first); });
  if (!complete) return false;
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
  // No thread (or shutdown has begun): the request is dropped and the list keeps its order.
  return StartWorker([request] { RunSort(request); });
}

void RunSort(const SortRequest& request) {
  ResultList published;
  {
    std::lock_guard guard(resultsMutex);
    published = currentResults;
  }
  if (!published || published->empty()) return;
  if (IsStale(request.generation)) return;

  MatchList items(*published);
  published.reset();

  const uint32_t column = request.column;
  if (column == kColumnSize || column == kColumnModified || column == kColumnCreated) {
    ExtractProperties(items, request.generation);
  }
  if (IsStale(request.generation)) return;

  bool complete = true;
  switch (column) {
    case kColumnName:
      complete =
          SortByText(items, request.ascending, request.generation,
                     [](const MatchItem& item, std::u16string* key) { *key = FoldedName(item); });
      break;
    case kColumnPath: {
      PathKeyMaker paths;
      complete = SortByText(
          items, request.ascending, request.generation,
          [&paths](const MatchItem& item, std::u16string* key) { paths.Make(item, key); });
      break;
    }
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
  if (!complete || IsStale(request.generation)) return;

  ResultList sorted = std::make_shared<const MatchList>(std::move(items));
  // The counts stay, but the view follows the new order.
  SummaryPtr summary = SummarizeForPublication(sorted, request.generation);
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
