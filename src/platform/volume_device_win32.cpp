#include "platform/volume_device_win32.h"

#include <windows.h>

#include <string>

namespace qm {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is one UTF-16 unit");
static_assert(sizeof(VolumeHandle) == sizeof(HANDLE));

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL;
static_assert(kShareAll == 7 && kOpenFlags == 0x2000080);

HANDLE ToHandle(VolumeHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

Win32Error Win32VolumeDevice::Open(std::u16string_view devicePath, uint32_t access,
                                   VolumeHandle* handle) {
  // UTF-16 units copied one for one; the terminating zero comes from std::wstring.
  std::wstring path(devicePath.begin(), devicePath.end());
  HANDLE h =
      CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  *handle = reinterpret_cast<VolumeHandle>(h);
  return kErrorSuccess;
}

Win32Error Win32VolumeDevice::Control(VolumeHandle handle, uint32_t code, const uint8_t* in,
                                      uint32_t inSize, uint8_t* out, uint32_t outSize,
                                      uint32_t* returned) {
  *returned = 0;
  if (handle == kInvalidVolumeHandle) return kErrorInvalidHandle;
  DWORD bytes = 0;
  // DeviceIoControl takes a non-const input pointer but does not write through it.
  BOOL ok = DeviceIoControl(ToHandle(handle), code, const_cast<uint8_t*>(in), inSize, out, outSize,
                            &bytes, nullptr);
  Win32Error error = ok ? kErrorSuccess : GetLastError();
  *returned = bytes;
  return error;
}

void Win32VolumeDevice::CancelIo(VolumeHandle handle) {
  if (handle == kInvalidVolumeHandle) return;
  CancelIoEx(ToHandle(handle), nullptr);
}

void Win32VolumeDevice::CancelThreadIo(ThreadToken thread) {
  if (thread == 0 || thread > MAXDWORD) return;
  HANDLE h = OpenThread(THREAD_TERMINATE, FALSE, DWORD(thread));
  if (h == nullptr) return;
  CancelSynchronousIo(h);
  CloseHandle(h);
}

ThreadToken Win32VolumeDevice::CurrentThread() {
  return GetCurrentThreadId();
}

Win32Error Win32VolumeDevice::Close(VolumeHandle handle) {
  if (handle == kInvalidVolumeHandle) return kErrorInvalidHandle;
  if (!CloseHandle(ToHandle(handle))) return GetLastError();
  return kErrorSuccess;
}

void Win32VolumeDevice::DebugOutput(const char* line) {
  OutputDebugStringA(line);
}

}  // namespace qm
