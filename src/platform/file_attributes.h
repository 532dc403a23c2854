// The size and times of a file or directory, asked for by full path: GetFileAttributesExW with
// the standard information level in the Windows build, stat elsewhere. Tests may install their
// own source.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace qm {

// WIN32_FILE_ATTRIBUTE_DATA's fields; times in 100 ns units since 1601-01-01 UTC.
struct FileAttributeData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint32_t fileSizeHigh = 0;
  uint32_t fileSizeLow = 0;
};

class FileAttributeSource {
 public:
  virtual ~FileAttributeSource() = default;
  // `fullPath` as BuildPath builds it (drive letter form, no long-path prefix; a drive served
  // from a folder is found through NativeFilePath). False when the entry cannot be queried.
  virtual bool QueryAttributes(std::u16string_view fullPath, FileAttributeData* out) = 0;
};

// The system's source: *_win32.cpp and *_posix.cpp. The POSIX form follows a symbolic link,
// as the Windows call does for a file link; a directory's size is 0 there as on NTFS; the
// creation time is the birth time where the file system keeps one, else the status change time.
FileAttributeSource& SystemFileAttributes();

// A source that replaces the system's (tests); nullptr: the system's.
inline std::atomic<FileAttributeSource*> fileAttributesOverride{nullptr};

inline FileAttributeSource& CurrentFileAttributes() {
  FileAttributeSource* replacement = fileAttributesOverride.load();
  return replacement ? *replacement : SystemFileAttributes();
}

}  // namespace qm
