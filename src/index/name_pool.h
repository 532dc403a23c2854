// Storage of record names in large zero-filled chunks.
//
// Each name is stored once, as the file system gives it, followed by a NUL; matching folds A to
// Z as it compares, so no second, lower-case copy is kept. A record holds its name's 32-bit
// position in the pool (chunk number and offset), not a pointer: half the bytes. Names are never
// freed one by one; the whole pool goes when the index is reset or released, and a chunk never
// moves, so a name's address stays valid as long as the pool holds it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/fold_case.h"

namespace qm {

struct NamePool {
  struct FreeChunk {
    size_t bytes = 0;
    void operator()(char16_t* p) const;
  };
  using Chunk = std::unique_ptr<char16_t[], FreeChunk>;

  // A power of two, so that a position splits into chunk and offset by a shift.
  static constexpr uint64_t kDefaultChunkSize = 0x1000000;  // 16 Mi units, 32 MiB
  // Zero units behind the room for names in every chunk: the name pass reads the first 24
  // units of a name whatever its length, and longer ones in groups of 8, so it may read past
  // a name's end, never past its chunk.
  static constexpr uint64_t kScanSlack = 32;

  std::vector<Chunk> chunks;
  uint64_t chunkSize = kDefaultChunkSize;
  uint64_t used = kDefaultChunkSize;  // so the first name opens the first chunk

  // The stored name at `position` (as AddName returned it), NUL-terminated. Caller holds the
  // index's lock shared; the address stays valid after it is released.
  const char16_t* At(uint32_t position) const {
    const int shift = std::countr_zero(chunkSize);
    return chunks[position >> shift].get() + (position & (chunkSize - 1));
  }

  // Finds names without reading the pool's fields each time (the name pass keeps one).
  class Reader {
   public:
    explicit Reader(const NamePool& pool)
        : chunks_(pool.chunks.data()),
          shift_(std::countr_zero(pool.chunkSize)),
          mask_(pool.chunkSize - 1) {}
    const char16_t* At(uint32_t position) const {
      return chunks_[position >> shift_].get() + (position & mask_);
    }

   private:
    const Chunk* chunks_;
    int shift_;
    uint64_t mask_;
  };

  // Drops every chunk; the next name opens a new one.
  void Reset();
  size_t MemoryBytes() const;
};

// Stores `length` units of `source` and a NUL; returns the name's position. Throws
// std::bad_alloc when no memory is left or the pool has no position left (2^32 units).
// Caller holds the index's lock exclusively or is the only thread that reaches the index.
uint32_t AddName(NamePool& pool, const char16_t* source, size_t length);

// The same for a name given as little-endian UTF-16 bytes, as a journal record carries it.
uint32_t AddNameFromLeBytes(NamePool& pool, const uint8_t* source, size_t length);

}  // namespace qm
