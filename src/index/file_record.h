// One file or directory of a drive, as the store keeps it.
#pragma once

#include <cstdint>

namespace qm {

struct FileRecord {
  uint64_t frn;
  uint64_t parentFrn;
  const char16_t* name;  // in the NamePool; NUL-terminated, lower-case form behind it
  uint16_t nameLength;   // units, without the NUL
  uint32_t isDirectory;  // 0 or 1
  uint32_t deleted;      // 0 or 1; set only by the journal monitor, never reset

  const char16_t* lowerName() const { return name + nameLength + 1; }
};

}  // namespace qm
