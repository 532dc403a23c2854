// The order a sort found for a list, kept apart from the list so that what was learnt about each
// entry while its key was made serves the list's summary too.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/large_block.h"

namespace qm {

struct ListOrder {
  // For each place of the sorted list, the position its entry had before the sort.
  std::vector<uint32_t, LargeBlockAllocator<uint32_t>> positions;
  // For each position before the sort: 1 when the entry's record existed and was not deleted
  // when the sort read it.
  std::vector<uint8_t, LargeBlockAllocator<uint8_t>> live;
};

}  // namespace qm
