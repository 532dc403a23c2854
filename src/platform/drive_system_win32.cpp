#include "platform/drive_system_win32.h"

#include <windows.h>

#include <string>

namespace qm {

uint32_t Win32DriveSystem::LogicalDriveMask() {
  return GetLogicalDrives();
}

bool Win32DriveSystem::FileSystemName(std::u16string_view root, std::u16string* name) {
  std::wstring path(root.begin(), root.end());
  wchar_t fileSystem[32] = {};
  if (!GetVolumeInformationW(path.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem, 32)) {
    return false;
  }
  name->assign(reinterpret_cast<const char16_t*>(fileSystem));
  return true;
}

VolumeDevice& Win32DriveSystem::DeviceFor(std::u16string_view) {
  return device_;
}

}  // namespace qm
