#include <windows.h>

#include "platform/drive_roots.h"
#include "platform/file_attributes.h"

namespace qm {

namespace {

uint64_t FromFileTime(const FILETIME& time) {
  return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Win32FileAttributes final : public FileAttributeSource {
 public:
  bool QueryAttributes(std::u16string_view fullPath, FileAttributeData* out) override {
    const std::filesystem::path path = NativeFilePath(fullPath);
    if (path.empty()) return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    out->attributes = data.dwFileAttributes;
    out->creationTime = FromFileTime(data.ftCreationTime);
    out->lastAccessTime = FromFileTime(data.ftLastAccessTime);
    out->lastWriteTime = FromFileTime(data.ftLastWriteTime);
    out->fileSizeHigh = data.nFileSizeHigh;
    out->fileSizeLow = data.nFileSizeLow;
    return true;
  }
};

}  // namespace

FileAttributeSource& SystemFileAttributes() {
  static Win32FileAttributes source;
  return source;
}

}  // namespace qm
