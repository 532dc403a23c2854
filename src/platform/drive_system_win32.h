// The machine's own drives: GetLogicalDrives, GetVolumeInformationW, and raw volume access
// through CreateFileW and DeviceIoControl for every drive.
#pragma once

#include "platform/drive_system.h"
#include "platform/volume_device_win32.h"

namespace qm {

class Win32DriveSystem : public DriveSystem {
 public:
  uint32_t LogicalDriveMask() override;
  bool FileSystemName(std::u16string_view root, std::u16string* name) override;
  VolumeDevice& DeviceFor(std::u16string_view drive) override;

 private:
  Win32VolumeDevice device_;  // stateless: one serves every drive
};

}  // namespace qm
