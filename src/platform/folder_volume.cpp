#include "platform/folder_volume.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <new>
#include <string_view>
#include <utility>

#include "platform/byte_order.h"
#include "platform/file_identity.h"
#include "platform/journal_layout.h"
#include "platform/utf8.h"

namespace qm {

namespace {

namespace fs = std::filesystem;
using Tree = FolderVolume::Tree;
using Node = FolderVolume::Node;

constexpr int64_t kMaxUsn = 0x7FFFFFFFFFFFFFFF;
constexpr uint64_t kDefaultMaximumSize = 0x2000000;     // 32 MiB
constexpr uint64_t kDefaultAllocationDelta = 0x800000;  // 8 MiB
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr Win32Error kErrorNotEnoughMemory = 8;
constexpr int64_t kFileTimeOfUnixEpoch = 116444736000000000;  // 1970-01-01 in 100 ns units

char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

bool SameDevicePath(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::atomic<ThreadToken> threadTokenCounter{0};

int64_t FileTimeNow() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<Ticks>(sinceEpoch).count() + kFileTimeOfUnixEpoch;
}

// A name as the system spells it: UTF-16 already under Windows; UTF-8 (or any bytes) on POSIX,
// where a sequence that is not UTF-8 becomes U+FFFD.
template <typename Char>
std::u16string NameToUtf16(const std::basic_string<Char>& native) {
  if constexpr (sizeof(Char) == sizeof(char16_t)) {
    return std::u16string(native.begin(), native.end());
  } else {
    return ToUtf16(std::string_view(native.data(), native.size()));
  }
}

// Walks the folder at `root` into `out`: every entry once, below its parent's reference
// number. `previous` (may be null) is the walk before, consulted for hard links. False when
// the root itself cannot be read.
bool Walk(const fs::path& root, const Tree* previous, Tree* out) {
  fs::path start = root;
  FileIdentityInfo rootInfo;
  if (!FileIdentity(start, &rootInfo)) return false;
  if (rootInfo.link) {
    // The folder given may be reached through a link; what lies below it is not followed.
    std::error_code error;
    start = fs::canonical(root, error);
    if (error || !FileIdentity(start, &rootInfo)) return false;
  }
  if (!rootInfo.directory) return false;
  out->emplace(rootInfo.file, Node{rootInfo.file, kFileAttributeDirectory, 0, u"."});

  struct Pending {
    fs::path path;
    uint64_t frn;
    uint32_t depth;
  };
  std::vector<Pending> pending{{start, rootInfo.file, 0}};
  while (!pending.empty()) {
    const Pending directory = std::move(pending.back());
    pending.pop_back();
    const bool isRoot = directory.depth == 0;
    std::error_code error;
    // An unreadable root is an error; an unreadable folder below it is just left empty.
    fs::directory_iterator it(
        directory.path,
        isRoot ? fs::directory_options::none : fs::directory_options::skip_permission_denied,
        error);
    if (error) {
      if (isRoot) return false;
      continue;
    }
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
      const fs::path& path = it->path();
      std::u16string name = NameToUtf16(path.filename().native());
      if (name.empty() || name.size() > 0x7FFF) continue;
      FileIdentityInfo info;
      if (!FileIdentity(path, &info)) continue;  // gone meanwhile, or unreachable
      // A directory of another volume is a mount point. Files are kept whatever their device,
      // as some layered file systems report the device of the layer a file comes from.
      if (info.directory && info.volume != rootInfo.volume) continue;
      uint32_t attributes = kFileAttributeDirectory;
      if (!info.directory) {
        attributes = kFileAttributeArchive | (info.link ? kFileAttributeReparsePoint : 0);
      }
      Node node{directory.frn, attributes, directory.depth + 1, std::move(name)};
      auto [at, inserted] = out->try_emplace(info.file, std::move(node));
      if (!inserted) {
        // A second name of an identity already listed. A file keeps the name it had at the
        // previous walk; a directory met twice is left out with its contents.
        if (info.directory || (at->second.attributes & kFileAttributeDirectory)) continue;
        if (previous) {
          auto was = previous->find(info.file);
          if (was != previous->end() && was->second.parentFrn == directory.frn &&
              was->second.name == node.name) {
            at->second = std::move(node);
          }
        }
        continue;
      }
      if (info.directory) pending.push_back({path, info.file, directory.depth + 1});
    }
  }
  return true;
}

struct Change {
  uint32_t reason;
  uint64_t frn;
  const Node* node;
};

// The journal entries that lead from `before` to `after`, in the order to apply them.
std::vector<Change> Compare(const Tree& before, const Tree& after) {
  std::vector<Change> going;   // deletions and old names, at their old depth
  std::vector<Change> coming;  // creations and new names, at their new depth
  auto was = before.begin();
  auto is = after.begin();
  while (was != before.end() || is != after.end()) {
    if (is == after.end() || (was != before.end() && was->first < is->first)) {
      going.push_back({kUsnReasonFileDelete | kUsnReasonClose, was->first, &was->second});
      ++was;
    } else if (was == before.end() || is->first < was->first) {
      coming.push_back({kUsnReasonFileCreate | kUsnReasonClose, is->first, &is->second});
      ++is;
    } else {
      const Node& old = was->second;
      const Node& now = is->second;
      if ((old.attributes & kFileAttributeDirectory) !=
          (now.attributes & kFileAttributeDirectory)) {
        // The identity was reused for something else.
        going.push_back({kUsnReasonFileDelete | kUsnReasonClose, was->first, &old});
        coming.push_back({kUsnReasonFileCreate | kUsnReasonClose, is->first, &now});
      } else if (old.parentFrn != now.parentFrn || old.name != now.name) {
        going.push_back({kUsnReasonRenameOldName, was->first, &old});
        coming.push_back({kUsnReasonRenameNewName | kUsnReasonClose, is->first, &now});
      }
      ++was;
      ++is;
    }
  }
  // Children go before their parents, and come after them; otherwise in reference order.
  std::stable_sort(going.begin(), going.end(),
                   [](const Change& a, const Change& b) { return a.node->depth > b.node->depth; });
  std::stable_sort(coming.begin(), coming.end(),
                   [](const Change& a, const Change& b) { return a.node->depth < b.node->depth; });
  going.insert(going.end(), coming.begin(), coming.end());
  return going;
}

}  // namespace

FolderVolume::FolderVolume(std::u16string drive, std::filesystem::path root)
    : drive_(std::move(drive)), root_(std::move(root)) {
  journal_.active = true;
  journal_.id = NewJournalId();
  journal_.maximumSize = kDefaultMaximumSize;
  journal_.allocationDelta = kDefaultAllocationDelta;
  auto tree = std::make_shared<Tree>();
  if (!Walk(root_, nullptr, tree.get())) tree->clear();  // all of it is new when it appears
  previous_ = std::move(tree);
}

bool FolderVolume::JournalActive() const {
  std::lock_guard guard(mutex_);
  return journal_.active;
}

uint64_t FolderVolume::JournalId() const {
  std::lock_guard guard(mutex_);
  return journal_.id;
}

int64_t FolderVolume::NextUsn() const {
  std::lock_guard guard(mutex_);
  return journal_.nextUsn;
}

std::vector<std::string> FolderVolume::DebugLines() const {
  std::lock_guard guard(mutex_);
  return debugLines_;
}

int FolderVolume::OpenHandles() const {
  std::lock_guard guard(mutex_);
  return int(openHandles_.size());
}

// --- VolumeDevice ---

Win32Error FolderVolume::Open(std::u16string_view devicePath, uint32_t /*access*/,
                              VolumeHandle* handle) {
  std::lock_guard guard(mutex_);
  *handle = kInvalidVolumeHandle;
  if (!SameDevicePath(devicePath, u"\\\\.\\" + drive_)) return kErrorFileNotFound;
  std::error_code error;
  if (!fs::is_directory(root_, error)) return kErrorNotReady;
  *handle = nextHandle_;
  nextHandle_ += 4;
  openHandles_.push_back(*handle);
  return kErrorSuccess;
}

Win32Error FolderVolume::Control(VolumeHandle handle, uint32_t code, const uint8_t* in,
                                 uint32_t inSize, uint8_t* out, uint32_t outSize,
                                 uint32_t* returned) {
  std::lock_guard guard(mutex_);
  uint32_t bytes = 0;
  Win32Error result = kErrorSuccess;
  try {
    result = ServeControl(handle, code, in, inSize, out, outSize, &bytes);
  } catch (const std::bad_alloc&) {
    bytes = 0;
    result = kErrorNotEnoughMemory;
  } catch (const std::exception&) {
    // Nothing in a walk is meant to throw; should it, the volume is unready, not broken.
    bytes = 0;
    result = kErrorNotReady;
  }
  if (returned) *returned = bytes;
  return result;
}

void FolderVolume::CancelIo(VolumeHandle /*handle*/) {
  // Every call is served at once: there is never anything pending to cancel.
}

void FolderVolume::CancelThreadIo(ThreadToken /*thread*/) {}

ThreadToken FolderVolume::CurrentThread() {
  thread_local const ThreadToken token = ++threadTokenCounter;
  return token;
}

Win32Error FolderVolume::Close(VolumeHandle handle) {
  std::lock_guard guard(mutex_);
  auto open = std::find(openHandles_.begin(), openHandles_.end(), handle);
  if (open == openHandles_.end()) return kErrorInvalidHandle;
  openHandles_.erase(open);
  return kErrorSuccess;
}

void FolderVolume::DebugOutput(const char* line) {
  std::lock_guard guard(mutex_);
  if (debugLines_.size() < kLogLimit) debugLines_.emplace_back(line ? line : "");
}

// --- Serving the controls (mutex held) ---

uint64_t FolderVolume::NewJournalId() {
  // Windows takes the creation time as the identity; a later journal never reuses one.
  lastJournalId_ = std::max(lastJournalId_ + 1, uint64_t(FileTimeNow()));
  return lastJournalId_;
}

bool FolderVolume::Look() {
  auto tree = std::make_shared<Tree>();
  if (!Walk(root_, previous_.get(), tree.get())) return false;
  if (journal_.active) {
    const int64_t timeStamp = FileTimeNow();
    for (const Change& change : Compare(*previous_, *tree)) {
      Append(change.reason, change.frn, *change.node, timeStamp);
    }
    TrimJournal();
  }
  previous_ = std::move(tree);
  return true;
}

void FolderVolume::Append(uint32_t reason, uint64_t frn, const Node& node, int64_t timeStamp) {
  entries_.push_back(JournalEntry{journal_.nextUsn, timeStamp, frn, node.parentFrn, reason,
                                  node.attributes, node.name});
  const size_t size = UsnRecordSize(node.name.size());
  entryBytes_ += size;
  journal_.nextUsn += int64_t(size);
  runningUsn_ = std::max(runningUsn_, journal_.nextUsn);
}

void FolderVolume::TrimJournal() {
  bool dropped = false;
  while (entryBytes_ > journal_.maximumSize && !entries_.empty()) {
    entryBytes_ -= UsnRecordSize(entries_.front().name.size());
    entries_.pop_front();
    dropped = true;
  }
  if (dropped) journal_.firstUsn = entries_.empty() ? journal_.nextUsn : entries_.front().usn;
}

Win32Error FolderVolume::ServeControl(VolumeHandle handle, uint32_t code, const uint8_t* in,
                                      uint32_t inSize, uint8_t* out, uint32_t outSize,
                                      uint32_t* returned) {
  *returned = 0;
  if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end()) {
    return kErrorInvalidHandle;
  }
  if (!in) inSize = 0;
  if (!out) outSize = 0;
  switch (code) {
    case kFsctlQueryUsnJournal:
      return QueryJournal(out, outSize, returned);
    case kFsctlCreateUsnJournal:
      return CreateJournal(in, inSize);
    case kFsctlDeleteUsnJournal:
      return DeleteJournal(in, inSize);
    case kFsctlEnumUsnData:
      return EnumData(in, inSize, out, outSize, returned);
    case kFsctlReadUsnJournal:
      return ReadJournal(in, inSize, out, outSize, returned);
    default:
      return kErrorInvalidFunction;
  }
}

Win32Error FolderVolume::QueryJournal(uint8_t* out, uint32_t outSize, uint32_t* returned) {
  if (!journal_.active) return kErrorJournalNotActive;
  if (outSize < UsnJournalData::kSize) return kErrorInsufficientBuffer;
  UsnJournalData data;
  data.usnJournalId = journal_.id;
  data.firstUsn = journal_.firstUsn;
  data.nextUsn = journal_.nextUsn;
  data.lowestValidUsn = journal_.firstUsn;
  data.maxUsn = kMaxUsn;
  data.maximumSize = journal_.maximumSize;
  data.allocationDelta = journal_.allocationDelta;
  Encode(data, out);
  *returned = UsnJournalData::kSize;
  return kErrorSuccess;
}

Win32Error FolderVolume::CreateJournal(const uint8_t* in, uint32_t inSize) {
  if (inSize < CreateUsnJournalData::kSize) return kErrorInvalidParameter;
  const CreateUsnJournalData request = DecodeCreateUsnJournalData(in);
  if (!journal_.active) {
    // What changed while there was no journal is not recorded: look once before it starts.
    Look();
    journal_.active = true;
    journal_.id = NewJournalId();
    journal_.firstUsn = runningUsn_;
    journal_.nextUsn = runningUsn_;
    entries_.clear();
    entryBytes_ = 0;
  }
  journal_.maximumSize = request.maximumSize ? request.maximumSize : kDefaultMaximumSize;
  journal_.allocationDelta = request.allocationDelta;
  TrimJournal();
  return kErrorSuccess;
}

Win32Error FolderVolume::DeleteJournal(const uint8_t* in, uint32_t inSize) {
  if (inSize < DeleteUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  const DeleteUsnJournalData request = DecodeDeleteUsnJournalData(in);
  if (request.usnJournalId != journal_.id) return kErrorInvalidParameter;
  if (request.deleteFlags == 0 || (request.deleteFlags & ~3u) != 0) return kErrorInvalidParameter;
  if (request.deleteFlags & kUsnDeleteFlagDelete) {
    journal_.active = false;
    entries_.clear();
    entryBytes_ = 0;
  }
  return kErrorSuccess;
}

Win32Error FolderVolume::EnumData(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                  uint32_t outSize, uint32_t* returned) {
  if (inSize < MftEnumData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  if (outSize < 8) return kErrorInsufficientBuffer;
  const MftEnumData request = DecodeMftEnumData(in);
  // A pass starts at reference 0 and pages through one walk; later pages reuse it.
  if (request.startFileReferenceNumber == 0 || !snapshot_) {
    if (!Look()) return kErrorNotReady;
    snapshot_ = previous_;
  }
  // Every entry is listed with USN 0, below any journal position.
  constexpr int64_t kEntryUsn = 0;
  if (kEntryUsn < request.lowUsn || kEntryUsn > request.highUsn) {
    snapshot_.reset();
    return kErrorHandleEof;
  }
  auto it = snapshot_->lower_bound(request.startFileReferenceNumber);
  if (it == snapshot_->end()) {
    snapshot_.reset();  // the pass is over; a walk is not kept longer than needed
    return kErrorHandleEof;
  }
  size_t offset = 8;
  uint64_t lastFrn = 0;
  bool any = false;
  for (; it != snapshot_->end(); ++it) {
    UsnRecordFields fields;
    fields.frn = it->first;
    fields.parentFrn = it->second.parentFrn;
    fields.usn = kEntryUsn;
    fields.attributes = it->second.attributes;
    const size_t written = WriteUsnRecord(fields, it->second.name, out + offset, outSize - offset);
    if (written == 0) break;
    offset += written;
    lastFrn = it->first;
    any = true;
  }
  if (!any) return kErrorMoreData;
  StoreLe64(out, lastFrn + 1);
  *returned = uint32_t(offset);
  return kErrorSuccess;
}

Win32Error FolderVolume::ReadJournal(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                     uint32_t outSize, uint32_t* returned) {
  if (inSize < ReadUsnJournalData::kSize) return kErrorInvalidParameter;
  if (!journal_.active) return kErrorJournalNotActive;
  const ReadUsnJournalData request = DecodeReadUsnJournalData(in);
  if (request.usnJournalId != journal_.id) return kErrorInvalidParameter;
  if (outSize < 8) return kErrorInsufficientBuffer;
  if (!Look()) return kErrorNotReady;
  int64_t start = request.startUsn;
  if (start == 0) {
    start = journal_.firstUsn;
  } else if (start < journal_.firstUsn) {
    return kErrorJournalEntryDeleted;
  }
  auto it = std::lower_bound(entries_.begin(), entries_.end(), start,
                             [](const JournalEntry& e, int64_t usn) { return e.usn < usn; });
  auto wanted = [&](const JournalEntry& e) {
    if ((e.reason & request.reasonMask) == 0) return false;
    return request.returnOnlyOnClose == 0 || (e.reason & kUsnReasonClose) != 0;
  };
  size_t offset = 8;
  int64_t next = journal_.nextUsn;
  for (; it != entries_.end(); ++it) {
    if (!wanted(*it)) continue;
    UsnRecordFields fields;
    fields.frn = it->frn;
    fields.parentFrn = it->parentFrn;
    fields.usn = it->usn;
    fields.timeStamp = it->timeStamp;
    fields.reason = it->reason;
    fields.attributes = it->attributes;
    const size_t written = WriteUsnRecord(fields, it->name, out + offset, outSize - offset);
    if (written == 0) {
      if (offset == 8) return kErrorInsufficientBuffer;
      next = it->usn;
      break;
    }
    offset += written;
  }
  StoreLe64(out, uint64_t(next));
  *returned = uint32_t(offset);
  return kErrorSuccess;
}

}  // namespace qm
