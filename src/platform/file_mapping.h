// A whole file read through a read-only memory mapping, without copying it into the program:
// CreateFileW, GetFileSizeEx, CreateFileMappingW and MapViewOfFile in the Windows build; open,
// fstat and mmap elsewhere.
//
// A mapped view can fault when it is read: the file shrank under the mapping (another program
// truncated it) or the medium failed. ScanMappedView contains that fault: the scan ends and
// reports kReadFault instead of ending the process.
// - POSIX: such a read raises SIGBUS. A process-wide SIGBUS handler, installed on first use,
//   jumps back into ScanMappedView when the faulting address lies in the view the faulting
//   thread is scanning; any other SIGBUS goes to the handler that was there before, or ends
//   the process as it would have without this one.
// - Windows refuses to shrink a file while a mapping of it exists (SetEndOfFile fails with
//   ERROR_USER_MAPPED_FILE), but a failing medium or network share raises
//   EXCEPTION_IN_PAGE_ERROR. A vectored exception handler, installed on first use, resumes the
//   thread at the start of its scan when the fault is a read inside the view it is scanning;
//   every other exception goes on as before.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Close(); }

  // Opens `fullPath` (found through NativeFilePath) for reading, sharing reading and writing
  // with other programs. False when it cannot be opened.
  bool Open(std::u16string_view fullPath);
  // The size of the open file. False when it cannot be read.
  bool Size(uint64_t* size);
  // Maps the whole open file, read-only; `size` is what Size reported (not 0). False when the
  // mapping fails.
  bool Map(uint64_t size);
  // Unmaps the view, closes the mapping and the file. Safe to repeat.
  void Close();

  const uint8_t* data() const { return view_; }
  uint64_t size() const { return viewSize_; }

 private:
  intptr_t file_ = -1;    // file descriptor or HANDLE; -1 for none
  intptr_t mapping_ = 0;  // mapping HANDLE (Windows only); 0 for none
  const uint8_t* view_ = nullptr;
  uint64_t viewSize_ = 0;
};

// Looks through `size` bytes at `data`; true when found. Runs inside ScanMappedView, where it
// may be abandoned at any read: it must not allocate, take locks or own anything.
using ViewScan = bool (*)(const void* context, const uint8_t* data, uint64_t size);

enum class ScanOutcome { kNotFound, kFound, kReadFault };

// Runs `scan` over the mapped view of `file` (which must be mapped).
ScanOutcome ScanMappedView(const MappedFile& file, ViewScan scan, const void* context);

}  // namespace qm
