#include <windows.h>

#include "platform/file_identity.h"

namespace qm {

bool FileIdentity(const std::filesystem::path& path, FileIdentityInfo* out) {
  // Attributes only, sharing everything so that no other program is disturbed; backup
  // semantics so that directories open, and the reparse point itself rather than its target.
  HANDLE file = CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL ok = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  if (!ok) return false;
  out->volume = information.dwVolumeSerialNumber;
  out->file = (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  out->directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                   (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  out->link = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

}  // namespace qm
