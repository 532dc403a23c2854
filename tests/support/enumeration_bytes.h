// The whole enumeration output of a volume, as a test compares it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/byte_order.h"
#include "platform/journal_layout.h"
#include "platform/volume_device.h"
#include "platform/win32_codes.h"

namespace qm::testing {

// Every FSCTL_ENUM_USN_DATA output of the volume of drive C:, concatenated, read with a 64 KiB
// buffer from reference 0 over the USN window [0, highUsn].
inline std::vector<uint8_t> EnumerationBytes(VolumeDevice& volume,
                                             int64_t highUsn = 0x7FFFFFFFFFFFFFFF) {
  VolumeHandle handle;
  EXPECT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead, &handle), kErrorSuccess);
  std::vector<uint8_t> all;
  std::vector<uint8_t> out(0x10000);
  MftEnumData request{0, 0, highUsn};
  for (;;) {
    uint8_t in[MftEnumData::kSize];
    Encode(request, in);
    uint32_t returned = 0;
    if (volume.Control(handle, kFsctlEnumUsnData, in, sizeof in, out.data(), uint32_t(out.size()),
                       &returned) != kErrorSuccess) {
      break;
    }
    all.insert(all.end(), out.begin(), out.begin() + returned);
    request.startFileReferenceNumber = LoadLe64(out.data());
  }
  volume.Close(handle);
  return all;
}

}  // namespace qm::testing
