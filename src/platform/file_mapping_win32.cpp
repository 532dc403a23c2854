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

namespace {

// The scan a thread runs, while it runs: where the view lies and where to resume after a fault.
struct ActiveScan {
  CONTEXT resume;  // the registers at the start of the scan
  const uint8_t* begin;
  const uint8_t* end;
  volatile LONG faulted;
};

thread_local ActiveScan* activeScan = nullptr;

// A read of the view that faults (the medium failed, or the file's pages went away) resumes
// the thread where its scan began, which then reports the fault. Every other exception goes on
// to the handlers that were there before.
LONG CALLBACK ContainViewFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  const bool pageFault = record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR ||
                         record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION;
  ActiveScan* scan = activeScan;
  if (!pageFault || !scan || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  if (record->ExceptionInformation[0] != 0) return EXCEPTION_CONTINUE_SEARCH;  // not a read
  const auto* address = reinterpret_cast<const uint8_t*>(record->ExceptionInformation[1]);
  if (address < scan->begin || address >= scan->end) return EXCEPTION_CONTINUE_SEARCH;
  activeScan = nullptr;
  scan->faulted = 1;
  *info->ContextRecord = scan->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

// Not inlined: the resumed registers belong to this frame, which must still be the one that
// captured them.
__attribute__((noinline)) ScanOutcome ScanMappedView(const MappedFile& file, ViewScan scan,
                                                     const void* context) {
  static const PVOID handler = AddVectoredExceptionHandler(1, ContainViewFault);
  if (!handler) {
    return scan(context, file.data(), file.size()) ? ScanOutcome::kFound : ScanOutcome::kNotFound;
  }
  ActiveScan guard;
  guard.begin = file.data();
  guard.end = file.data() + file.size();
  guard.faulted = 0;
  RtlCaptureContext(&guard.resume);
  // Reached twice after a fault: first when the context is captured, again when the handler
  // resumes it.
  if (guard.faulted) return ScanOutcome::kReadFault;
  activeScan = &guard;
  const bool found = scan(context, file.data(), file.size());
  activeScan = nullptr;
  return found ? ScanOutcome::kFound : ScanOutcome::kNotFound;
}

}  // namespace qm
