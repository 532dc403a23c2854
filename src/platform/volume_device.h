// The narrow seam between the volume index and Windows' raw volume access.
//
// The Win32 implementation (volume_device_win32.cpp) forwards each call to CreateFileW,
// DeviceIoControl, CancelIoEx, CancelSynchronousIo and CloseHandle. The stand-in volumes
// used on machines without raw NTFS access implement the same calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "platform/win32_codes.h"

namespace qm {

// An opened volume. Holds a Windows HANDLE value in the Win32 build.
using VolumeHandle = intptr_t;
inline constexpr VolumeHandle kInvalidVolumeHandle = -1;  // INVALID_HANDLE_VALUE

// Identifies a thread for CancelThreadIo: the Windows thread id in the Win32 build.
using ThreadToken = uint64_t;

class VolumeDevice {
 public:
  virtual ~VolumeDevice() = default;

  // Opens a device path such as \\.\C: with `access` (GENERIC_READ and/or GENERIC_WRITE),
  // sharing read, write and delete, OPEN_EXISTING, backup semantics. On success stores the
  // handle and returns kErrorSuccess; otherwise returns the Win32 error.
  virtual Win32Error Open(std::u16string_view devicePath, uint32_t access,
                          VolumeHandle* handle) = 0;

  // One synchronous DeviceIoControl. Returns kErrorSuccess or the Win32 error; `*returned`
  // holds the bytes written to `out` (also for some errors, as Windows reports them).
  virtual Win32Error Control(VolumeHandle handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                             uint8_t* out, uint32_t outSize, uint32_t* returned) = 0;

  // CancelIoEx without an overlapped structure: every pending I/O on the handle.
  virtual void CancelIo(VolumeHandle handle) = 0;

  // CancelSynchronousIo on the thread `thread`, as returned by CurrentThread() on it.
  virtual void CancelThreadIo(ThreadToken thread) = 0;
  virtual ThreadToken CurrentThread() = 0;

  // CloseHandle; returns kErrorSuccess or the Win32 error.
  virtual Win32Error Close(VolumeHandle handle) = 0;

  // OutputDebugStringA.
  virtual void DebugOutput(const char* line) = 0;

  // The index's fixed pauses (closing a volume, the journal monitor's polls). Sleeps until a
  // steady-clock deadline; stand-ins for tests may record the pause instead.
  virtual void Pause(std::chrono::milliseconds duration);
};

}  // namespace qm
