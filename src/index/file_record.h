// One file or directory of a drive, as the store keeps it: 24 bytes.
#pragma once

#include <cstdint>

namespace qm {

struct FileRecord {
  uint64_t frn;
  uint64_t parentFrn;
  uint32_t name;        // position in the drive's NamePool (NamePool::At); NUL-terminated there
  uint16_t nameLength;  // units, without the NUL
  uint8_t isDirectory : 1;
  uint8_t deleted : 1;  // set under the drive's lock held exclusively, never reset
  // The drive's code for a file's extension (ExtensionCodes: kUncoded when it has none left);
  // kNoExtension for a folder, which no pass counts by extension.
  uint8_t extension;
};
static_assert(sizeof(FileRecord) == 24);

}  // namespace qm
