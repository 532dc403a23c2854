// One file or directory of a drive, as the store keeps it: 24 bytes.
#pragma once

#include <cstdint>

namespace qm {

struct FileRecord {
  uint64_t frn;
  uint64_t parentFrn;
  uint32_t name;        // position in the drive's NamePool (NamePool::At); NUL-terminated there
  uint16_t nameLength;  // units, without the NUL
  uint8_t isDirectory;  // 0 or 1
  uint8_t deleted;      // 0 or 1; set under the drive's lock held exclusively, never reset
};
static_assert(sizeof(FileRecord) == 24);

}  // namespace qm
