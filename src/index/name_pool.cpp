#include "index/name_pool.h"

#include <bit>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/large_block.h"

namespace qm {

namespace {

// Makes room for `length` units (the name, its lower-case form and two NULs) in the newest
// chunk, opening a new one when they do not fit. Returns where the name goes.
char16_t* Reserve(NamePool& pool, size_t length) {
  const uint64_t n = 2 * uint64_t(length) + 2;
  if (pool.used + n > pool.chunkSize) {
    const uint64_t units = n > pool.chunkSize ? n : pool.chunkSize;  // a name longer than a chunk
    const size_t bytes = (units + NamePool::kScanSlack) * sizeof(char16_t);
    pool.chunks.emplace_back(static_cast<char16_t*>(AllocateLargeBlock(bytes)),
                             NamePool::FreeChunk{bytes});
    pool.used = 0;
  }
  char16_t* out = pool.chunks.back().get() + pool.used;
  pool.used += n;
  return out;
}

// Writes the lower-case form and both NULs behind a name already stored at `out`.
const char16_t* Finish(char16_t* out, size_t length) {
  char16_t* lower = out + length + 1;
  for (size_t i = 0; i < length; ++i) lower[i] = FoldUnit(out[i]);
  out[length] = 0;
  lower[length] = 0;
  return out;
}

}  // namespace

void NamePool::Reset() {
  chunks.clear();
  used = chunkSize;
}

size_t NamePool::MemoryBytes() const {
  size_t bytes = 0;
  for (const Chunk& chunk : chunks) bytes += chunk.get_deleter().bytes;
  return bytes;
}

void NamePool::FreeChunk::operator()(char16_t* p) const {
  FreeLargeBlock(p, bytes);
}

const char16_t* AddName(NamePool& pool, const char16_t* source, size_t length) {
  char16_t* out = Reserve(pool, length);
  std::memcpy(out, source, length * sizeof(char16_t));
  return Finish(out, length);
}

const char16_t* AddNameFromLeBytes(NamePool& pool, const uint8_t* source, size_t length) {
  char16_t* out = Reserve(pool, length);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, source, length * sizeof(char16_t));
  } else {
    for (size_t i = 0; i < length; ++i) out[i] = char16_t(LoadLe16(source + 2 * i));
  }
  return Finish(out, length);
}

}  // namespace qm
