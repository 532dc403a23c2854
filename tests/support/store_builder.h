// Fills a VolumeIndex by hand, as the build would, for tests of what reads the store.
#pragma once

#include <string>

#include "index/volume_index.h"

namespace qm::testing {

// Appends a record and points indexByFrn at it (the newest record of an frn wins).
inline uint64_t AddTestRecord(VolumeIndex& index, uint64_t frn, uint64_t parentFrn,
                              std::u16string_view name, bool isDirectory = false) {
  const uint32_t stored = AddName(index.names, name.data(), name.size());
  uint64_t i = AppendRecord(index, frn, parentFrn, stored, uint16_t(name.size()), isDirectory);
  index.indexByFrn.Set(frn, uint32_t(i));
  return i;
}

}  // namespace qm::testing
