#include "index/name_pool.h"

#include <bit>
#include <cstring>
#include <new>

#include "platform/byte_order.h"
#include "platform/large_block.h"

namespace qm {

namespace {

// Makes room for `length` units and a NUL in the newest chunk, opening a new one when they do
// not fit. Returns the position where the name goes.
uint32_t Reserve(NamePool& pool, size_t length) {
  const uint64_t n = uint64_t(length) + 1;
  if (pool.used + n > pool.chunkSize) {
    // Positions are 32 bits: chunk number and offset together.
    if ((uint64_t(pool.chunks.size()) + 1) * pool.chunkSize > (uint64_t(1) << 32)) {
      throw std::bad_alloc();
    }
    const uint64_t units = n > pool.chunkSize ? n : pool.chunkSize;  // a name longer than a chunk
    const size_t bytes = (units + NamePool::kScanSlack) * sizeof(char16_t);
    pool.chunks.reserve(pool.chunks.size() + 1);  // the push below cannot fail after the block
    pool.chunks.emplace_back(static_cast<char16_t*>(AllocateLargeBlock(bytes)),
                             NamePool::FreeChunk{bytes});
    pool.used = 0;
  }
  const uint64_t position = (uint64_t(pool.chunks.size()) - 1) * pool.chunkSize + pool.used;
  pool.used += n;
  return uint32_t(position);
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

// The chunk is zero-filled, so the NUL behind each name is there already.
uint32_t AddName(NamePool& pool, const char16_t* source, size_t length) {
  const uint32_t position = Reserve(pool, length);
  std::memcpy(const_cast<char16_t*>(pool.At(position)), source, length * sizeof(char16_t));
  return position;
}

uint32_t AddNameFromLeBytes(NamePool& pool, const uint8_t* source, size_t length) {
  const uint32_t position = Reserve(pool, length);
  auto* out = const_cast<char16_t*>(pool.At(position));
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, source, length * sizeof(char16_t));
  } else {
    for (size_t i = 0; i < length; ++i) out[i] = char16_t(LoadLe16(source + 2 * i));
  }
  return position;
}

}  // namespace qm
