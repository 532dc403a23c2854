#include <fcntl.h>
#include <sys/stat.h>

#include "platform/clock.h"
#include "platform/drive_roots.h"
#include "platform/file_attributes.h"

namespace qm {

namespace {

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t units = seconds * 10000000 + nanoseconds / 100;
  return units + int64_t(kUnixEpochAsFileTime) < 0 ? 0 : uint64_t(units) + kUnixEpochAsFileTime;
}

class PosixFileAttributes final : public FileAttributeSource {
 public:
  bool QueryAttributes(std::u16string_view fullPath, FileAttributeData* out) override {
    const std::string path = NativeFilePath(fullPath).string();
    if (path.empty()) return false;
    struct statx status {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
      return false;
    }
    const bool directory = S_ISDIR(status.stx_mode);
    FileAttributeData data;
    data.attributes = directory ? 0x10 : 0x20;  // FILE_ATTRIBUTE_DIRECTORY, _ARCHIVE
    data.lastWriteTime = ToFileTime(status.stx_mtime.tv_sec, status.stx_mtime.tv_nsec);
    data.lastAccessTime = ToFileTime(status.stx_atime.tv_sec, status.stx_atime.tv_nsec);
    data.creationTime = (status.stx_mask & STATX_BTIME)
                            ? ToFileTime(status.stx_btime.tv_sec, status.stx_btime.tv_nsec)
                            : ToFileTime(status.stx_ctime.tv_sec, status.stx_ctime.tv_nsec);
    const uint64_t size = directory ? 0 : uint64_t(status.stx_size);
    data.fileSizeHigh = uint32_t(size >> 32);
    data.fileSizeLow = uint32_t(size);
    *out = data;
    return true;
  }
};

}  // namespace

FileAttributeSource& SystemFileAttributes() {
  static PosixFileAttributes source;
  return source;
}

}  // namespace qm
