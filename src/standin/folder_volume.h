// A stand-in volume that serves one drive letter from a real folder: the folder's contents are
// the master file table, and its change journal is made by comparing the folder with its state
// at the previous look. It lets the program run where raw NTFS access is missing (under an
// emulator, in demonstrations) and index ordinary folders.
//
// - Every file and directory below the folder is one entry. Its reference number is the file
//   system's own identity (the inode number on POSIX, the file index under Windows), so it
//   survives renames and moves. The folder itself is the volume root, named "." and its own
//   parent. Directories carry attribute 0x10, everything else 0x20.
// - Symbolic links, junctions and other reparse points are listed as entries of their own
//   (attributes 0x20 | 0x400) and never followed. Directories on another device or volume
//   (mount points) are left out with everything below them. Folders that cannot be read are
//   skipped silently: the folder is listed, its contents are not.
// - Hard links: one identity is listed once. The name it had at the previous look is kept
//   while it still exists, so adding or removing another link to a file changes nothing;
//   otherwise the first name the walk meets wins. A directory met a second time (a bind mount
//   of a folder inside itself) is left out with its contents, which also ends any cycle.
// - The folder is walked once when the volume is made, once per journal read and once before a
//   new journal starts. An enumeration pass pages through the last walk, which is the state the
//   journal has recorded up to, so a build sees the folder as its journal query reported it and
//   reads what changed since from the journal; only when the last walk failed does a pass walk
//   again. Each walk is compared with the walk before it and the differences are recorded in the
//   journal, in an order that rebuilds the right tree when applied one by one:
//   deletions and old names (deepest first), then creations and new names (parents first).
//   A new identity is a creation (0x100 | close), a vanished one a deletion (0x200 | close), one
//   with a new name or parent an old-name entry (0x1000, old name and parent) followed later by
//   a new-name entry (0x2000 | close). An identity that turns from file to directory or back is
//   a deletion and a creation. A file created and deleted between two looks leaves no trace;
//   a file deleted and another created whose number the file system reused shows as a rename,
//   which leaves the same end state.
// - The journal holds at most its maximum size in record bytes; older entries are dropped and
//   a read that starts before the oldest kept one fails with ERROR_JOURNAL_ENTRY_DELETED.
// - A root folder that cannot be read makes Open, enumeration and journal reads fail with
//   ERROR_NOT_READY (21), which the journal monitor retries, as for a drive without media.
// - The journal and enumeration controls (checks and their order, errors, paging, journal
//   creation and deletion) are answered by a StandInJournal (stand_in_journal.h) that keeps its
//   maximum size. Every other answer (cancellation, thread tokens, debugger output) is the
//   in-memory stand-in's (fake_volume.cpp).
//
// Thread-safe: every call but the cancels (which find nothing pending) takes the volume's mutex,
// walks included, so a Close on another thread waits for a walk in progress.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/volume_device.h"
#include "standin/stand_in_journal.h"

namespace qm {

class FolderVolume : public VolumeDevice, private StandInJournal::Volume {
 public:
  // `drive` such as C:; Open accepts only \\.\ followed by it. The folder is walked once here:
  // changes from this moment on reach the journal.
  FolderVolume(std::u16string drive, std::filesystem::path root);

  enum class FolderState { kReadable, kGone, kUnreadable };
  // The folder as it is now, looked at without a walk: there and readable; gone (or no longer a
  // folder); or there but unreadable (it cannot be listed, or what it lists cannot be examined).
  FolderState Check() const;

  // Journal state as a query would report it (for assertions).
  bool JournalActive() const;
  uint64_t JournalId() const;
  int64_t NextUsn() const;
  std::vector<std::string> DebugLines() const;
  int OpenHandles() const;

  // --- VolumeDevice ---
  Win32Error Open(std::u16string_view devicePath, uint32_t access, VolumeHandle* handle) override;
  Win32Error Control(VolumeHandle handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                     uint8_t* out, uint32_t outSize, uint32_t* returned) override;
  void CancelIo(VolumeHandle handle) override;
  void CancelThreadIo(ThreadToken thread) override;
  ThreadToken CurrentThread() override;
  Win32Error Close(VolumeHandle handle) override;
  void DebugOutput(const char* line) override;

  // One entry of a walk.
  struct Node {
    uint64_t parentFrn = 0;
    uint32_t attributes = 0;
    uint32_t depth = 0;  // the root is 0
    std::u16string name;
  };
  // A whole walk, in reference number order. Shared, never changed once made.
  using Tree = std::map<uint64_t, Node>;

 private:
  // --- StandInJournal::Volume (mutex held) ---
  uint64_t NewJournalId() override;
  Win32Error Enumerate(const MftEnumData& request, EnumerationPage& page) override;
  // Walks the folder, records the differences from the previous walk in the journal (when one
  // is active) and makes the walk the new previous state. False when the root cannot be read.
  bool Look() override;

  const std::u16string drive_;
  const std::filesystem::path root_;
  mutable std::mutex mutex_;  // guards every member below

  std::shared_ptr<const Tree> previous_;  // the last walk: what the journal has recorded
  bool walked_ = false;                   // the last walk read the folder
  std::shared_ptr<const Tree> snapshot_;  // the walk an enumeration pass pages through
  StandInJournal journal_{*this, StandInJournal::Retention::kMaximumSize};
  uint64_t lastJournalId_ = 0;

  std::vector<VolumeHandle> openHandles_;
  VolumeHandle nextHandle_ = 0x100;
  std::vector<std::string> debugLines_;  // at most kLogLimit lines
  static constexpr size_t kLogLimit = 1024;
};

}  // namespace qm
