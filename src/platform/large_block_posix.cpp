#include <sys/mman.h>

#include <new>

#include "platform/large_block.h"

namespace qm {

void* AllocateLargeBlock(size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  madvise(block, bytes, MADV_HUGEPAGE);  // a hint: ignored where huge pages are off
#endif
  return block;
}

void FreeLargeBlock(void* block, size_t bytes) {
  if (block) munmap(block, bytes);
}

}  // namespace qm
