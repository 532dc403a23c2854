#include <windows.h>

#include "platform/drive_roots.h"
#include "platform/file_mapping.h"

namespace qm {

bool MappedFile::Open(std::u16string_view fullPath) {
  Close();
  const std::filesystem::path path = NativeFilePath(fullPath);
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  file_ = intptr_t(file);
  return true;
}

bool MappedFile::Size(uint64_t* size) {
  LARGE_INTEGER value{};
  if (file_ == -1 || !GetFileSizeEx(HANDLE(file_), &value) || value.QuadPart < 0) return false;
  *size = uint64_t(value.QuadPart);
  return true;
}

bool MappedFile::Map(uint64_t size) {
  if (file_ == -1 || view_ || size == 0) return false;
  HANDLE mapping = CreateFileMappingW(HANDLE(file_), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return false;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  mapping_ = intptr_t(mapping);
  view_ = static_cast<const uint8_t*>(view);
  // The file cannot shrink any more; it may have shrunk before the mapping was made, and the
  // view covers only what the file held then.
  LARGE_INTEGER now{};
  if (GetFileSizeEx(HANDLE(file_), &now) && now.QuadPart >= 0 && uint64_t(now.QuadPart) < size) {
    size = uint64_t(now.QuadPart);
  }
  viewSize_ = size;
  return true;
}

void MappedFile::Close() {
  if (view_) UnmapViewOfFile(view_);
  view_ = nullptr;
  viewSize_ = 0;
  if (mapping_) CloseHandle(HANDLE(mapping_));
  mapping_ = 0;
  if (file_ != -1) CloseHandle(HANDLE(file_));
  file_ = -1;
}

ScanOutcome ScanMappedView(const MappedFile& file, ViewScan scan, const void* context) {
  // The system refuses to shrink a mapped file, so the view stays readable unless the medium
  // fails (not contained: see file_mapping.h).
  return scan(context, file.data(), file.size()) ? ScanOutcome::kFound : ScanOutcome::kNotFound;
}

}  // namespace qm
