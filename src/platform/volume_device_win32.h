// The volume seam on Windows: each call goes straight to the Win32 function of the same
// purpose. Header kept free of <windows.h> so portable code may name the class.
#pragma once

#include "platform/volume_device.h"

namespace qm {

class Win32VolumeDevice : public VolumeDevice {
 public:
  // CreateFileW with `access`, sharing read, write and delete, OPEN_EXISTING, backup
  // semantics and normal attributes.
  Win32Error Open(std::u16string_view devicePath, uint32_t access, VolumeHandle* handle) override;
  // Synchronous DeviceIoControl (no OVERLAPPED).
  Win32Error Control(VolumeHandle handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                     uint8_t* out, uint32_t outSize, uint32_t* returned) override;
  // CancelIoEx(handle, nullptr).
  void CancelIo(VolumeHandle handle) override;
  // OpenThread + CancelSynchronousIo + CloseHandle on the thread whose id is `thread`.
  void CancelThreadIo(ThreadToken thread) override;
  // GetCurrentThreadId (never 0).
  ThreadToken CurrentThread() override;
  // CloseHandle. kInvalidVolumeHandle is refused with ERROR_INVALID_HANDLE: as a HANDLE it is
  // the current-process pseudo handle, which CloseHandle would "close" successfully.
  Win32Error Close(VolumeHandle handle) override;
  // OutputDebugStringA.
  void DebugOutput(const char* line) override;
};

}  // namespace qm
