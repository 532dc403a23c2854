// Large zero-filled memory blocks for the index's bulk storage (name chunks, record segments,
// the reference map). Taken straight from the system rather than the heap, asking for huge
// pages where the system offers them: a build of millions of records otherwise spends much
// of its time taking page faults on fresh 4 KiB pages.
#pragma once

#include <cstddef>

namespace qm {

// Returns `bytes` of zero-filled memory, or throws std::bad_alloc.
void* AllocateLargeBlock(size_t bytes);
// Frees a block from AllocateLargeBlock of the same size. Does nothing for nullptr.
void FreeLargeBlock(void* block, size_t bytes);

}  // namespace qm
