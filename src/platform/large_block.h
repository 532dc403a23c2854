// Large zero-filled memory blocks for the index's bulk storage (name chunks, record segments,
// the reference map). Taken straight from the system rather than the heap, asking for huge
// pages where the system offers them: a build of millions of records otherwise spends much
// of its time taking page faults on fresh 4 KiB pages.
#pragma once

#include <cstddef>
#include <memory>

namespace qm {

// Returns `bytes` of zero-filled memory, or throws std::bad_alloc.
void* AllocateLargeBlock(size_t bytes);
// Frees a block from AllocateLargeBlock of the same size. Does nothing for nullptr.
void FreeLargeBlock(void* block, size_t bytes);

// An allocator for containers that may grow to millions of elements (result lists): arrays of
// at least kLargeArrayBytes come from AllocateLargeBlock, smaller ones from the heap. A result
// list of millions of entries otherwise spends most of its time faulting in fresh small pages.
inline constexpr size_t kLargeArrayBytes = size_t(1) << 20;

template <typename T>
struct LargeBlockAllocator {
  using value_type = T;

  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n * sizeof(T) >= kLargeArrayBytes)
      return static_cast<T*>(AllocateLargeBlock(n * sizeof(T)));
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) {
    if (n * sizeof(T) >= kLargeArrayBytes) {
      FreeLargeBlock(p, n * sizeof(T));
    } else {
      std::allocator<T>().deallocate(p, n);
    }
  }

  template <typename U>
  bool operator==(const LargeBlockAllocator<U>&) const {
    return true;
  }
};

}  // namespace qm
