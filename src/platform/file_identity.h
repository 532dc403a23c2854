// The file system's own identity of a file or directory: the one platform-specific piece of the
// folder-backed volume. The POSIX form (file_identity_posix.cpp) reads lstat's device and inode
// number; the Windows form (file_identity_win32.cpp) reads the volume serial number and the file
// index of GetFileInformationByHandle. Neither follows a symbolic link or junction: the link
// itself is described.
#pragma once

#include <cstdint>
#include <filesystem>

namespace qm {

struct FileIdentityInfo {
  uint64_t volume = 0;     // the device or volume holding the entry
  uint64_t file = 0;       // unique on that volume; survives renames and moves
  bool directory = false;  // a real directory (a link to one is not)
  bool link = false;       // a symbolic link, junction or other reparse point
};

// Describes `path` without following a link at its end. False (and `out` untouched) when the
// entry cannot be reached: gone, unreadable, or a name the system cannot open.
bool FileIdentity(const std::filesystem::path& path, FileIdentityInfo* out);

}  // namespace qm
