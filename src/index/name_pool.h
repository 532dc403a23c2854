// Storage of record names in large zero-filled chunks.
//
// Each name is stored as its units, a NUL, its lower-case form and a NUL, so matching reads
// the stored lower-case form and never folds or allocates per record. Names are never freed
// one by one; the whole pool goes when the index is reset or released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/fold_case.h"

namespace qm {

struct NamePool {
  struct FreeChunk {
    size_t bytes = 0;
    void operator()(char16_t* p) const;
  };
  using Chunk = std::unique_ptr<char16_t[], FreeChunk>;

  static constexpr uint64_t kDefaultChunkSize = 0x1000000;  // 16 Mi units, 32 MiB
  // Zero units behind the room for names in every chunk: the name pass reads the first 24
  // units of a lower-case name whatever its length, and longer ones in groups of 8, so it may
  // read past a name's end, never past its chunk.
  static constexpr uint64_t kScanSlack = 32;

  std::vector<Chunk> chunks;
  uint64_t chunkSize = kDefaultChunkSize;
  uint64_t used = kDefaultChunkSize;  // so the first name opens the first chunk

  // Drops every chunk; the next name opens a new one.
  void Reset();
  size_t MemoryBytes() const;
};

// Stores `length` units of `source` and their lower-case form; returns the stored name.
// Caller holds the index's lock exclusively or is the only thread that reaches the index.
const char16_t* AddName(NamePool& pool, const char16_t* source, size_t length);

// The same for a name given as little-endian UTF-16 bytes, as a journal record carries it.
const char16_t* AddNameFromLeBytes(NamePool& pool, const uint8_t* source, size_t length);

}  // namespace qm
