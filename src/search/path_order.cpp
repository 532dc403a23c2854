#include "search/path_order.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <vector>

#include "base/fold_case.h"
#include "index/build_path.h"
#include "index/frn_map.h"
#include "platform/large_block.h"
#include "search/text_order.h"

namespace qm {

namespace {

// Entries read under one hold of their drive's lock.
constexpr size_t kBlockEntries = 1024;

// The folders of the paths met: one node per distinct folder path, the top node above the
// drives. Folders whose names differ only in the case of A to Z share a node, as their paths
// compare equal; so do folders of two records that name one folder.
class FolderTree {
 public:
  static constexpr uint32_t kTop = 0;

  struct Node {
    uint32_t parent = kTop;
    const char16_t* name = nullptr;  // as stored; the top node has none
    uint32_t nameLength = 0;
    uint32_t firstKey = 0;  // its keys in the sorted array, once they are placed
    uint32_t keyCount = 0;
  };

  FolderTree() : nodes_(1), slots_(1024, kEmpty) {}

  // The node of the path of `node` followed by a backslash and `text`.
  uint32_t Child(uint32_t node, const char16_t* text, uint32_t length) {
    const size_t mask = slots_.size() - 1;
    size_t slot = HashFolded(node, text, length) & mask;
    for (; slots_[slot] != kEmpty; slot = (slot + 1) & mask) {
      const Node& child = nodes_[slots_[slot]];
      if (child.parent == node && child.nameLength == length &&
          FoldedSame(child.name, text, length)) {
        return slots_[slot];
      }
    }
    const uint32_t added = uint32_t(nodes_.size());
    nodes_.push_back(Node{node, text, length});
    slots_[slot] = added;
    if (nodes_.size() * 2 > slots_.size()) Rehash();
    return added;
  }

  // The node of a folder named `text` inside `node`. A name holding backslashes (none that a
  // volume reports) names a folder several levels down, as its path reads.
  uint32_t Folder(uint32_t node, const char16_t* text, uint32_t length) {
    const char16_t* last = nullptr;
    uint32_t lastLength = 0;
    node = Above(node, text, length, &last, &lastLength);
    return Child(node, last, lastLength);
  }

  // The node an entry named `text` inside `node` lies in, and in *last the part of the name
  // after its last backslash (all of it, as a rule).
  uint32_t Above(uint32_t node, const char16_t* text, uint32_t length, const char16_t** last,
                 uint32_t* lastLength) {
    uint32_t start = 0;
    for (uint32_t k = 0; k < length; ++k) {
      if (text[k] != u'\\') continue;
      node = Child(node, text + start, k - start);
      start = k + 1;
    }
    *last = text + start;
    *lastLength = length - start;
    return node;
  }

  std::vector<Node>& nodes() { return nodes_; }

 private:
  static constexpr uint32_t kEmpty = ~uint32_t(0);

  static bool FoldedSame(const char16_t* a, const char16_t* b, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
      if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
    }
    return true;
  }

  void Rehash() {
    slots_.assign(slots_.size() * 2, kEmpty);
    const size_t mask = slots_.size() - 1;
    for (uint32_t id = 1; id < nodes_.size(); ++id) {
      const Node& node = nodes_[id];
      size_t slot = HashFolded(node.parent, node.name, node.nameLength) & mask;
      while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
      slots_[slot] = id;
    }
  }

  std::vector<Node> nodes_;
  std::vector<uint32_t> slots_;  // node ids by (parent, folded name); open addressing
};

// A folder as the entries inside it see it: its node, and the folders their paths name (it and
// those above it, below the root).
struct FolderInfo {
  uint32_t node = FolderTree::kTop;
  uint32_t depth = 0;
};

// The folders met on one drive, by the reference number entries name as their parent.
struct DriveFolders {
  const VolumeIndex* drive = nullptr;
  uint32_t node = FolderTree::kTop;  // the drive's own: where entries below the root lie
  FrnMap byFrn;                      // parent frn -> position in `info`
  std::vector<FolderInfo> info;
};

using KeyArray = std::vector<TextKey, LargeBlockAllocator<TextKey>>;

// The keys of a list's entries, each in the node of its folder (kept in its digit until the keys
// are placed node by node), and the folders' keys in their parents.
class PathKeys {
 public:
  explicit PathKeys(size_t entries) { keys_.reserve(entries); }

  // Adds the key of the entry at `position` of the list. Caller holds the drive's lock shared;
  // `count` is the drive's record count.
  void AddEntry(const VolumeIndex& drive, uint64_t count, uint32_t recordIndex, uint32_t position) {
    DriveFolders& folders = FoldersOf(drive);
    if (recordIndex >= count) {  // BuildPath gives the drive alone
      Add(FolderTree::kTop, drive.drive.data(), uint32_t(drive.drive.size()), position);
      return;
    }
    const FileRecord& record = drive.records[recordIndex];
    FolderInfo folder;
    if (!Resolve(folders, count, record.parentFrn, &folder)) {
      folder.node = CutFolder(folders, count, record);
    }
    Add(folder.node, drive.names.At(record.name), record.nameLength, position);
  }

  // Places the keys node by node, sorts each node's keys and reads the list out in path order.
  // False when `stop` answered true first.
  bool Order(const MatchList& items, SortStop& stop, MatchList* sorted) {
    std::vector<FolderTree::Node>& nodes = tree_.nodes();
    for (uint32_t id = 1; id < nodes.size(); ++id) {
      TextKey key;
      key.digit = nodes[id].parent;
      key.text = nodes[id].name;
      key.length = nodes[id].nameLength | TextKey::kThenBackslash;
      key.id = id;
      keys_.push_back(key);
    }
    // A counting sort by node.
    for (const TextKey& key : keys_) ++nodes[key.digit].keyCount;
    uint32_t next = 0;
    for (FolderTree::Node& node : nodes) {
      node.firstKey = next;
      next += node.keyCount;
      node.keyCount = 0;
    }
    KeyArray placed(keys_.size());
    for (const TextKey& key : keys_) {
      FolderTree::Node& node = nodes[key.digit];
      placed[node.firstKey + node.keyCount++] = key;
    }
    KeyArray().swap(keys_);

    TextSorter sorter(stop);
    for (const FolderTree::Node& node : nodes) {
      if (stop.Step()) return false;
      TextKey* first = placed.data() + node.firstKey;
      if (!sorter.Sort(first, first + node.keyCount)) return false;
    }

    // Depth first from the top: an entry's key puts the entry in the list, a folder's key the
    // folder's keys.
    sorted->clear();
    sorted->reserve(items.size());
    struct Frame {
      uint32_t next;
      uint32_t end;
    };
    std::vector<Frame> stack{{nodes[0].firstKey, nodes[0].firstKey + nodes[0].keyCount}};
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next == frame.end) {
        stack.pop_back();
        continue;
      }
      const TextKey& key = placed[frame.next++];
      if (key.ThenBackslash()) {
        const FolderTree::Node& node = nodes[key.id];
        stack.push_back({node.firstKey, node.firstKey + node.keyCount});
      } else {
        sorted->push_back(items[key.id]);
      }
    }
    return true;
  }

 private:
  struct ChainLink {
    uint64_t frn;
    uint32_t record;
  };

  void Add(uint32_t node, const char16_t* text, uint32_t length, uint32_t position) {
    TextKey key;
    key.digit = tree_.Above(node, text, length, &key.text, &key.length);
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
    folders->node =
        tree_.Folder(FolderTree::kTop, drive.drive.data(), uint32_t(drive.drive.size()));
    drives_.push_back(std::move(folders));
    return *(last_ = drives_.back().get());
  }

  void Remember(DriveFolders& folders, uint64_t frn, FolderInfo info) {
    folders.byFrn.Set(frn, uint32_t(folders.info.size()));
    folders.info.push_back(info);
  }

  // The folder of entries whose parent is `frn`, from the cache or found walking up to a folder
  // met before, the root or a folder the drive does not hold (paths then begin at the drive), and
  // remembered with the folders walked through. False when the entries' paths lose their top:
  // more folders above them than a path shows, or folders that are each other's parents.
  bool Resolve(DriveFolders& folders, uint64_t count, uint64_t frn, FolderInfo* out) {
    const VolumeIndex& drive = *folders.drive;
    chain_.clear();
    FolderInfo base{folders.node, 0};
    for (uint64_t at = frn;;) {
      if (const uint32_t* known = folders.byFrn.Find(at)) {
        base = folders.info[*known];
        break;
      }
      const uint32_t* found = drive.indexByFrn.Find(at);
      if (!found || *found >= count ||
          drive.records[*found].frn == drive.records[*found].parentFrn) {
        Remember(folders, at, base);  // not held, or the root
        break;
      }
      if (chain_.size() == size_t(kMaxPathDepth)) return false;
      chain_.push_back({at, *found});
      at = drive.records[*found].parentFrn;
    }
    if (base.depth + chain_.size() > size_t(kMaxPathDepth)) return false;
    for (size_t k = chain_.size(); k-- > 0;) {
      const FileRecord& folder = drive.records[chain_[k].record];
      base.node = tree_.Folder(base.node, drive.names.At(folder.name), folder.nameLength);
      ++base.depth;
      Remember(folders, chain_[k].frn, base);
    }
    *out = base;
    return true;
  }

  // The node of an entry whose path loses its top: the folders BuildPath shows, walked as it
  // walks them. Such paths are rare (and not cached: where one is cut depends on the entry).
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
      node = tree_.Folder(node, drive.names.At(folder.name), folder.nameLength);
    }
    return node;
  }

  FolderTree tree_;
  KeyArray keys_;
  std::vector<std::unique_ptr<DriveFolders>> drives_;
  DriveFolders* last_ = nullptr;
  std::vector<ChainLink> chain_;
};

}  // namespace

bool OrderByPath(MatchList& items, SortStop& stop) {
  PathKeys keys(items.size());
  std::shared_lock<SharedMutex> guard;
  const VolumeIndex* locked = nullptr;
  uint64_t count = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (stop.Step()) return false;
    const VolumeIndex& drive = *items[i].volume;
    // One drive's lock at a time, taken anew for every block so that the journal monitor is
    // not kept waiting for the whole pass.
    if (&drive != locked || i % kBlockEntries == 0) {
      if (guard.owns_lock()) guard.unlock();
      guard = std::shared_lock(drive.lock);
      locked = &drive;
      count = RecordCount(drive);
    }
    keys.AddEntry(drive, count, items[i].recordIndex, uint32_t(i));
  }
  if (guard.owns_lock()) guard.unlock();
  MatchList sorted;
  if (!keys.Order(items, stop, &sorted)) return false;
  items = std::move(sorted);
  return true;
}

}  // namespace qm
