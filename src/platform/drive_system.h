// What drive discovery asks of the machine: the drive letters in use, the file system of a
// drive's root, and the device through which a drive's volume is opened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/volume_device.h"

namespace qm {

class DriveSystem {
 public:
  virtual ~DriveSystem() = default;
  // GetLogicalDrives: bit i set when drive letter 'A' + i is in use.
  virtual uint32_t LogicalDriveMask() = 0;
  // GetVolumeInformationW on a root such as C:\ asking only for the file-system name (at most
  // 31 units). False when the call fails (no medium, device not ready).
  virtual bool FileSystemName(std::u16string_view root, std::u16string* name) = 0;
  // The device that opens \\.\<drive>. Lives as long as the DriveSystem.
  virtual VolumeDevice& DeviceFor(std::u16string_view drive) = 0;
};

}  // namespace qm
