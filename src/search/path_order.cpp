#include "search/path_order.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "base/fold_case.h"
#include "index/build_path.h"
#include "index/frn_map.h"
#include "platform/large_block.h"
#include "search/text_order.h"

namespace qm {

namespace {

// How far ahead of the entry being handled what it will need is fetched from memory.
constexpr size_t kAhead = 4;

constexpr uint32_t kTopNode = 0;  // above the drives

// A folder of the paths met: one per folder record (and per drive), so making one costs no
// lookup. Two folders whose paths compare equal (names that differ only in the case of A to Z,
// rare) are merged when the read-out meets them side by side.
struct Node {
  uint32_t parent = kTopNode;
  const char16_t* name = nullptr;  // as stored; the top node has none
  uint32_t nameLength = 0;
  uint32_t depth = 0;     // folders the path of an entry inside it names
  uint32_t firstKey = 0;  // its keys, once they are placed
  uint32_t keyCount = 0;
};

// The folders met on one drive, by the reference number entries name as their parent.
struct DriveFolders {
  const VolumeIndex* drive = nullptr;
  uint32_t node = kTopNode;  // the drive's own: where entries below the root lie
  FrnMap byFrn;              // parent frn -> node
};

using KeyArray = std::vector<TextKey, LargeBlockAllocator<TextKey>>;

// True when both keys are folders and their texts are equal with A to Z folded.
bool SameFolder(const TextKey& a, const TextKey& b) {
  if (!a.ThenBackslash() || !b.ThenBackslash() || a.TextLength() != b.TextLength()) return false;
  for (uint32_t i = 0; i < a.TextLength(); ++i) {
    if (FoldUnit(a.text[i]) != FoldUnit(b.text[i])) return false;
  }
  return true;
}

// The keys of a list's entries, each in the node of its folder (kept in its digit until the keys
// are placed node by node), and the folders' keys in their parents.
class PathKeys {
 public:
  explicit PathKeys(size_t entries) : nodes_(1) { keys_.reserve(entries); }

  // Adds the key of the entry at `position` of the list; true when its record exists and is not
  // deleted. Caller holds the drive's lock shared; `count` is the drive's record count.
  bool AddEntry(const VolumeIndex& drive, uint64_t count, uint32_t recordIndex, uint32_t position) {
    DriveFolders& folders = FoldersOf(drive);
    if (recordIndex >= count) {  // BuildPath gives the drive alone
      Add(kTopNode, drive.drive.data(), uint32_t(drive.drive.size()), position);
      return false;
    }
    const FileRecord& record = drive.records[recordIndex];
    uint32_t node = Resolve(folders, count, record.parentFrn);
    if (node == kNoNode) node = CutFolder(folders, count, record);
    Add(node, drive.names.At(record.name), record.nameLength, position);
    return !record.deleted;
  }

  // Starts fetching what the entries after entry i will need, when they lie on `drive`: the
  // entries of a sorted list lie anywhere on it.
  void FetchAhead(const MatchList& items, size_t i, const VolumeIndex& drive, uint64_t count) {
    // What is read of each entry, in the order it is needed; each step a little ahead of the
    // next, so that what it fetches has arrived when the next step reads it.
    auto ahead = [&](size_t distance) -> const FileRecord* {
      if (i + distance >= items.size()) return nullptr;
      const MatchItem& item = items[i + distance];
      if (item.volume != &drive || item.recordIndex >= count) return nullptr;
      return &drive.records[item.recordIndex];
    };
    DriveFolders& folders = FoldersOf(drive);
    // The record of an entry's folder when the cache does not know the folder yet.
    auto newFolderAhead = [&](size_t distance) -> const FileRecord* {
      const FileRecord* record = ahead(distance);
      if (!record || folders.byFrn.Find(record->parentFrn)) return nullptr;
      const uint32_t* found = drive.indexByFrn.Find(record->parentFrn);
      return found && *found < count ? &drive.records[*found] : nullptr;
    };
    if (const FileRecord* record = ahead(4 * kAhead)) __builtin_prefetch(record);
    if (const FileRecord* record = ahead(3 * kAhead)) {
      folders.byFrn.Prefetch(record->parentFrn);
      drive.indexByFrn.Prefetch(record->parentFrn);
      __builtin_prefetch(drive.names.At(record->name));
    }
    if (const FileRecord* folder = newFolderAhead(2 * kAhead)) __builtin_prefetch(folder);
    if (const FileRecord* folder = newFolderAhead(kAhead))
      __builtin_prefetch(drive.names.At(folder->name));
  }

  // Places the keys node by node, sorts each node's keys, then reads the order out from the top:
  // an entry's key puts the entry's position in `positions`, a folder's key the folder's keys.
  // False when `stop` answered true first.
  bool Order(size_t entries, SortStop& stop, ListOrder::Positions* positions) {
    // A counting sort by node of the entries' keys and then the folders' keys, straight into
    // one array: appending the folders' keys to the entries' would copy them all into fresh
    // memory in one step too long to go without a look for staleness. Its passes read and
    // write anywhere in memory, and take long enough on millions of keys to look on the way.
    auto folderKey = [this](uint32_t id) {
      TextKey key;
      key.digit = nodes_[id].parent;
      key.text = nodes_[id].name;
      key.length = nodes_[id].nameLength | TextKey::kThenBackslash;
      key.id = id;
      return key;
    };
    for (const TextKey& key : keys_) {
      if (stop.Step()) return false;
      ++nodes_[key.digit].keyCount;
    }
    for (uint32_t id = 1; id < nodes_.size(); ++id) {
      if (stop.Step()) return false;
      ++nodes_[nodes_[id].parent].keyCount;
    }
    uint32_t next = 0;
    for (Node& node : nodes_) {
      node.firstKey = next;
      next += node.keyCount;
      node.keyCount = 0;
    }
    KeyArray placed;
    if (!ResizeStopping(placed, next, stop)) return false;
    auto place = [&](const TextKey& key) {
      Node& node = nodes_[key.digit];
      placed[node.firstKey + node.keyCount++] = key;
    };
    for (const TextKey& key : keys_) {
      if (stop.Step()) return false;
      place(key);
    }
    for (uint32_t id = 1; id < nodes_.size(); ++id) {
      if (stop.Step()) return false;
      place(folderKey(id));
    }
    KeyArray().swap(keys_);

    // Every folder's keys sorted in the order they lie in, not in the order of the read-out:
    // memory is then read front to back.
    TextSorter sorter(stop);
    if (!sorter.FillFirstDigits(placed.data(), placed.data() + placed.size())) return false;
    for (const Node& node : nodes_) {
      if (stop.Step()) return false;
      TextKey* first = placed.data() + node.firstKey;
      if (!sorter.Sort(first, first + node.keyCount, true)) return false;
    }

    positions->clear();
    positions->reserve(entries);
    struct Frame {
      size_t next;
      size_t end;
    };
    std::vector<Frame> stack{
        {nodes_[kTopNode].firstKey, nodes_[kTopNode].firstKey + nodes_[kTopNode].keyCount}};
    std::vector<uint32_t> same;
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next == frame.end) {
        stack.pop_back();
        continue;
      }
      const TextKey key = placed[frame.next++];
      if (stop.Step()) return false;
      if (!key.ThenBackslash()) {
        positions->push_back(key.id);
        continue;
      }
      // Folders whose paths compare equal lie side by side: their keys are sorted together.
      same.assign(1, key.id);
      while (frame.next < frame.end && SameFolder(placed[frame.next], key)) {
        same.push_back(placed[frame.next++].id);
      }
      if (same.size() == 1) {
        const Node& node = nodes_[key.id];
        stack.push_back({node.firstKey, node.firstKey + node.keyCount});
        continue;
      }
      const size_t first = placed.size();
      for (uint32_t id : same) {
        const Node& node = nodes_[id];
        for (uint32_t k = 0; k < node.keyCount; ++k) placed.push_back(placed[node.firstKey + k]);
      }
      if (!sorter.Sort(placed.data() + first, placed.data() + placed.size())) return false;
      stack.push_back({first, placed.size()});
    }
    return true;
  }

 private:
  static constexpr uint32_t kNoNode = ~uint32_t(0);

  struct ChainLink {
    uint64_t frn;
    uint32_t record;
  };

  uint32_t NewNode(uint32_t parent, const char16_t* text, uint32_t length, uint32_t depth) {
    nodes_.push_back(Node{parent, text, length, depth});
    return uint32_t(nodes_.size() - 1);
  }

  // The node of a folder named `text` inside `parent`. A name holding backslashes (none that a
  // volume reports) names a folder several levels down, as its path reads.
  uint32_t Folder(uint32_t parent, const char16_t* text, uint32_t length, uint32_t depth) {
    uint32_t start = 0;
    for (uint32_t k = 0; k < length; ++k) {
      if (text[k] != u'\\') continue;
      parent = NewNode(parent, text + start, k - start, depth);
      start = k + 1;
    }
    return NewNode(parent, text + start, length - start, depth);
  }

  void Add(uint32_t node, const char16_t* text, uint32_t length, uint32_t position) {
    // As for folders, a backslash in the name puts the entry below a folder of that name.
    uint32_t start = 0;
    for (uint32_t k = 0; k < length; ++k) {
      if (text[k] != u'\\') continue;
      node = NewNode(node, text + start, k - start, 0);
      start = k + 1;
    }
    TextKey key;
    key.digit = node;
    key.text = text + start;
    key.length = length - start;
    key.id = position;
    keys_.push_back(key);
  }

  DriveFolders& FoldersOf(const VolumeIndex& drive) {
    if (last_ && last_->drive == &drive) return *last_;
    for (const std::unique_ptr<DriveFolders>& folders : drives_) {
      if (folders->drive == &drive) return *(last_ = folders.get());
    }
    auto folders = std::make_unique<DriveFolders>();
    folders->drive = &drive;
    folders->node = Folder(kTopNode, drive.drive.data(), uint32_t(drive.drive.size()), 0);
    drives_.push_back(std::move(folders));
    return *(last_ = drives_.back().get());
  }

  // The node of entries whose parent is `frn`, from the cache or made walking up to a folder met
  // before, the root or a folder the drive does not hold (paths then begin at the drive), and
  // remembered with the folders walked through. kNoNode when the entries' paths lose their top:
  // more folders above them than a path shows, or folders that are each other's parents.
  uint32_t Resolve(DriveFolders& folders, uint64_t count, uint64_t frn) {
    if (const uint32_t* known = folders.byFrn.Find(frn)) return *known;
    const VolumeIndex& drive = *folders.drive;
    chain_.clear();
    uint32_t node = folders.node;
    for (uint64_t at = frn;;) {
      if (at != frn) {
        if (const uint32_t* known = folders.byFrn.Find(at)) {
          node = *known;
          break;
        }
      }
      const uint32_t* found = drive.indexByFrn.Find(at);
      if (!found || *found >= count ||
          drive.records[*found].frn == drive.records[*found].parentFrn) {
        folders.byFrn.Set(at, node);  // not held, or the root
        break;
      }
      if (chain_.size() == size_t(kMaxPathDepth)) return kNoNode;
      chain_.push_back({at, *found});
      at = drive.records[*found].parentFrn;
    }
    if (nodes_[node].depth + chain_.size() > size_t(kMaxPathDepth)) return kNoNode;
    for (size_t k = chain_.size(); k-- > 0;) {
      const FileRecord& folder = drive.records[chain_[k].record];
      node = Folder(node, drive.names.At(folder.name), folder.nameLength, nodes_[node].depth + 1);
      folders.byFrn.Set(chain_[k].frn, node);
    }
    return node;
  }

  // The node of an entry whose path loses its top: the folders BuildPath shows, walked as it
  // walks them. Such paths are rare, and not cached: where one is cut depends on the entry.
  uint32_t CutFolder(const DriveFolders& folders, uint64_t count, const FileRecord& record) {
    const VolumeIndex& drive = *folders.drive;
    chain_.clear();
    uint64_t parent = record.parentFrn;
    for (int depth = 0; depth < kMaxPathDepth; ++depth) {
      const uint32_t* found = drive.indexByFrn.Find(parent);
      if (!found || *found >= count) break;
      const FileRecord& ancestor = drive.records[*found];
      if (ancestor.frn == ancestor.parentFrn) break;
      chain_.push_back({parent, *found});
      parent = ancestor.parentFrn;
    }
    uint32_t node = folders.node;
    for (size_t k = chain_.size(); k-- > 0;) {
      const FileRecord& folder = drive.records[chain_[k].record];
      node = Folder(node, drive.names.At(folder.name), folder.nameLength, 0);
    }
    return node;
  }

  std::vector<Node> nodes_;
  KeyArray keys_;
  std::vector<std::unique_ptr<DriveFolders>> drives_;
  DriveFolders* last_ = nullptr;
  std::vector<ChainLink> chain_;
};

}  // namespace

bool OrderByPath(const MatchList& items, SortStop& stop, ListOrder* order) {
  PathKeys keys(items.size());
  order->live.assign(items.size(), 0);
  const bool read =
      VisitUnderDriveLocks(items, stop, [&](size_t i, const VolumeIndex& drive, uint64_t count) {
        keys.FetchAhead(items, i, drive, count);
        order->live[i] = keys.AddEntry(drive, count, items[i].recordIndex, uint32_t(i));
      });
  return read && keys.Order(items.size(), stop, &order->positions);
}

}  // namespace qm
