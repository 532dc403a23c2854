#include "standin/folder_volume.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/clock.h"
#include "platform/file_identity.h"
#include "platform/journal_layout.h"
#include "platform/utf8.h"

namespace qm {

namespace {

namespace fs = std::filesystem;
using Tree = FolderVolume::Tree;
using Node = FolderVolume::Node;

constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr Win32Error kErrorNotEnoughMemory = 8;

int64_t FileTimeNow() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<Ticks>(sinceEpoch).count() + int64_t(kUnixEpochAsFileTime);
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
      if (name.empty() || name.size() > kMaxNtfsNameUnits) continue;
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
  journal_.Set(NewJournalId(), 0, 0);
  auto tree = std::make_shared<Tree>();
  walked_ = Walk(root_, nullptr, tree.get());
  if (!walked_) tree->clear();  // all of it is new when it appears
  previous_ = std::move(tree);
}

FolderVolume::FolderState FolderVolume::Check() const {
  auto state = [](const std::error_code& error) {
    return error == std::errc::permission_denied ? FolderState::kUnreadable : FolderState::kGone;
  };
  std::error_code error;
  const fs::file_status status = fs::status(root_, error);  // a link to the folder is followed
  if (error || !fs::is_directory(status)) return state(error);
  fs::directory_iterator it(root_, error);
  if (error) return state(error);
  // A folder that lists its names but lets none be examined (no search permission) gives an
  // empty drive as surely as one that cannot be listed.
  if (it != fs::directory_iterator()) {
    const fs::file_status first = fs::symlink_status(it->path(), error);
    (void)first;
    if (error == std::errc::permission_denied) return FolderState::kUnreadable;
  }
  return FolderState::kReadable;
}

bool FolderVolume::JournalActive() const {
  std::lock_guard guard(mutex_);
  return journal_.Active();
}

uint64_t FolderVolume::JournalId() const {
  std::lock_guard guard(mutex_);
  return journal_.Id();
}

int64_t FolderVolume::NextUsn() const {
  std::lock_guard guard(mutex_);
  return journal_.NextUsn();
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
  if (!IsDevicePathOf(devicePath, drive_)) return kErrorFileNotFound;
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
    if (std::find(openHandles_.begin(), openHandles_.end(), handle) == openHandles_.end()) {
      result = kErrorInvalidHandle;
    } else {
      result = journal_.Serve(code, in, inSize, out, outSize, &bytes);
    }
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
  return StandInThreadToken();
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

// --- StandInJournal::Volume (mutex held) ---

uint64_t FolderVolume::NewJournalId() {
  // Windows takes the creation time as the identity; a later journal never reuses one.
  lastJournalId_ = std::max(lastJournalId_ + 1, uint64_t(FileTimeNow()));
  return lastJournalId_;
}

bool FolderVolume::Look() {
  auto tree = std::make_shared<Tree>();
  walked_ = Walk(root_, previous_.get(), tree.get());
  if (!walked_) return false;
  if (journal_.Active()) {
    const int64_t timeStamp = FileTimeNow();
    for (const Change& change : Compare(*previous_, *tree)) {
      journal_.Record(UsnRecordFields{.frn = change.frn,
                                      .parentFrn = change.node->parentFrn,
                                      .usn = journal_.NextUsn(),
                                      .timeStamp = timeStamp,
                                      .reason = change.reason,
                                      .attributes = change.node->attributes},
                      change.node->name);
    }
  }
  previous_ = std::move(tree);
  return true;
}

Win32Error FolderVolume::Enumerate(const MftEnumData& request, EnumerationPage& page) {
  // A pass starts at reference 0 and pages through the last walk; later pages reuse it.
  if (request.startFileReferenceNumber == 0 || !snapshot_) {
    if (!walked_ && !Look()) return kErrorNotReady;
    snapshot_ = previous_;
  }
  // Every entry is listed with USN 0, below any journal position.
  for (auto it = snapshot_->lower_bound(request.startFileReferenceNumber); it != snapshot_->end();
       ++it) {
    if (!page.Add(it->first, it->second.parentFrn, 0, it->second.attributes, it->second.name)) {
      break;
    }
  }
  const Win32Error result = page.Finish();
  if (result == kErrorHandleEof) snapshot_.reset();  // a walk is not kept longer than a pass
  return result;
}

}  // namespace qm
