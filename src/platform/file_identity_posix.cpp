#include <sys/stat.h>

#include "platform/file_identity.h"

namespace qm {

bool FileIdentity(const std::filesystem::path& path, FileIdentityInfo* out) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return false;
  out->volume = uint64_t(status.st_dev);
  out->file = uint64_t(status.st_ino);
  out->directory = S_ISDIR(status.st_mode);
  out->link = S_ISLNK(status.st_mode);
  return true;
}

}  // namespace qm
