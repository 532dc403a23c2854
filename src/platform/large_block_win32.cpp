#include <windows.h>

#include <new>

#include "platform/large_block.h"

namespace qm {

// Committed pages are zero-filled on first touch.
void* AllocateLargeBlock(size_t bytes) {
  void* block = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!block) throw std::bad_alloc();
  return block;
}

void FreeLargeBlock(void* block, size_t) {
  if (block) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace qm
