// Memory for the drive-sized hash tables of the index: tables of a drive's size come from
// large blocks (huge pages where offered), small ones from the heap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "platform/large_block.h"

namespace qm {

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
