#include "index/name_pool.h"

#include <new>

#include "platform/byte_order.h"

namespace qm {

namespace {

// Makes room for `length` units (the name, its lower-case form and two NULs) and writes them,
// reading unit i with `unitAt(i)`.
template <typename UnitAt>
const char16_t* Store(NamePool& pool, size_t length, UnitAt unitAt) {
  const uint64_t n = 2 * uint64_t(length) + 2;
  if (pool.used + n > pool.chunkSize) {
    // calloc hands out zeroed pages lazily, so a fresh 32 MiB chunk costs nothing up front.
    uint64_t units = n > pool.chunkSize ? n : pool.chunkSize;  // a name longer than a chunk
    auto* chunk = static_cast<char16_t*>(std::calloc(units, sizeof(char16_t)));
    if (!chunk) throw std::bad_alloc();
    pool.chunks.emplace_back(chunk);
    pool.used = 0;
  }
  char16_t* out = pool.chunks.back().get() + pool.used;
  char16_t* lower = out + length + 1;
  for (size_t i = 0; i < length; ++i) {
    char16_t c = unitAt(i);
    out[i] = c;
    lower[i] = FoldUnit(c);
  }
  out[length] = 0;
  lower[length] = 0;
  pool.used += n;
  return out;
}

}  // namespace

void NamePool::Reset() {
  chunks.clear();
  used = chunkSize;
}

const char16_t* AddName(NamePool& pool, const char16_t* source, size_t length) {
  return Store(pool, length, [source](size_t i) { return source[i]; });
}

const char16_t* AddNameFromLeBytes(NamePool& pool, const uint8_t* source, size_t length) {
  return Store(pool, length, [source](size_t i) { return char16_t(LoadLe16(source + 2 * i)); });
}

}  // namespace qm
