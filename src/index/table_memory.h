// What the drive-sized hash tables of the index share: their memory (tables of a drive's size
// come from large blocks, huge pages where offered; small ones from the heap), the mix that
// spreads reference numbers over them, and the load they keep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/large_block.h"

namespace qm {

// Reference numbers are dense segment numbers with a sequence number in the top 16 bits; a
// multiplicative mix spreads both over a table.
inline size_t MixFrn(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return size_t(key);
}

// The hash tables of the index keep their load at most 3/4, so probe sequences stay short: the
// capacity (a power of two, at least 16) a table of `capacity` slots needs for `entries`.
inline size_t CapacityFor(size_t entries, size_t capacity) {
  capacity = capacity ? capacity : 16;
  while (entries * 4 > capacity * 3) capacity *= 2;
  return capacity;
}

inline constexpr size_t kLargeTableBytes = size_t(1) << 20;

inline void* AllocateTable(size_t bytes) {
  if (bytes >= kLargeTableBytes) return AllocateLargeBlock(bytes);
  void* table = std::malloc(bytes);
  if (!table) throw std::bad_alloc();
  return table;
}

inline void FreeTable(void* table, size_t bytes) {
  if (bytes >= kLargeTableBytes) {
    FreeLargeBlock(table, bytes);
  } else {
    std::free(table);
  }
}

}  // namespace qm
