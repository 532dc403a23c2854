#include "index/name_pool.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace qm {
namespace {

std::u16string_view NameAt(const NamePool& pool, uint32_t position, size_t length) {
  return {pool.At(position), length};
}

TEST(NamePool, StoresTheNameOnceAsGivenBehindANul) {
  NamePool pool;
  const uint32_t name = AddName(pool, u"README.TXT", 10);
  EXPECT_EQ(NameAt(pool, name, 10), u"README.TXT");
  EXPECT_EQ(pool.At(name)[10], 0);
  EXPECT_EQ(pool.used, 11u);
  const std::u16string other = u"AZaz09.@[`\u00C9\u00E9\u0130\u4E2D";
  const uint32_t second = AddName(pool, other.data(), other.size());
  EXPECT_EQ(second, 11u);
  EXPECT_EQ(NameAt(pool, second, other.size()), other) << "no unit changes, capitals included";
}

TEST(NamePool, EmptyNameTakesOneNulAndLongestTakes256Units) {
  NamePool pool;
  const uint32_t first = AddName(pool, u"x", 1);
  const uint32_t empty = AddName(pool, u"", 0);
  EXPECT_EQ(empty, first + 2);
  EXPECT_EQ(pool.At(empty)[0], 0);
  EXPECT_EQ(pool.used, 3u);
  std::u16string name(255, u'Q');
  AddName(pool, name.data(), name.size());
  EXPECT_EQ(pool.used, 3u + 256u);
}

TEST(NamePool, NameThatDoesNotFitOpensANewChunkAndLeavesTheRestEmpty) {
  NamePool pool;
  pool.chunkSize = 16;
  pool.used = pool.chunkSize;
  const uint32_t a = AddName(pool, u"abcdefghijk", 11);  // 12 units
  ASSERT_EQ(pool.chunks.size(), 1u);
  const uint32_t b = AddName(pool, u"lmnopq", 6);  // 7 units: 12 + 7 > 16
  ASSERT_EQ(pool.chunks.size(), 2u);
  EXPECT_EQ(b, 16u) << "chunk 1, offset 0";
  EXPECT_EQ(pool.At(b), pool.chunks[1].get());
  EXPECT_EQ(pool.used, 7u);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(pool.chunks[0][i], 0) << "rest of the old chunk";
  EXPECT_EQ(NameAt(pool, a, 11), u"abcdefghijk") << "older names stay where they were";
  const uint32_t c = AddName(pool, u"rstuvw", 6);  // 7 units: 14 used
  EXPECT_EQ(pool.At(c), pool.chunks[1].get() + 7);
  AddName(pool, u"x", 1);  // 2 units: exactly fills the chunk
  EXPECT_EQ(pool.used, 16u);
  EXPECT_EQ(pool.chunks.size(), 2u);
  // A full chunk still has zero units behind its last name for scans that read ahead.
  for (uint64_t i = 16; i < 16 + NamePool::kScanSlack; ++i) EXPECT_EQ(pool.chunks[1][i], 0);
  EXPECT_EQ(pool.MemoryBytes(), 2 * (16 + NamePool::kScanSlack) * sizeof(char16_t));
  // A name longer than a chunk gets a chunk of its own, and the next name a new one.
  const std::u16string longName(40, u'L');
  const uint32_t d = AddName(pool, longName.data(), longName.size());
  EXPECT_EQ(d, 32u);
  EXPECT_EQ(NameAt(pool, d, 40), longName);
  EXPECT_EQ(AddName(pool, u"y", 1), 48u);
  EXPECT_EQ(NameAt(pool, 48, 1), u"y");
}

TEST(NamePool, PositionsEndAtTwoToTheThirtyTwoUnits) {
  NamePool pool;
  pool.chunkSize = uint64_t(1) << 31;  // two chunks fill every position
  // Two full chunks, stood in for by empty places: the third must be refused before anything
  // is allocated or written.
  pool.chunks.emplace_back(nullptr, NamePool::FreeChunk{0});
  pool.chunks.emplace_back(nullptr, NamePool::FreeChunk{0});
  pool.used = pool.chunkSize - 1;
  EXPECT_THROW(AddName(pool, u"c", 1), std::bad_alloc) << "a third chunk has no positions";
  EXPECT_EQ(pool.chunks.size(), 2u);
  EXPECT_EQ(pool.used, pool.chunkSize - 1);
}

TEST(NamePool, ReadsLittleEndianBytesAtAnyAlignment) {
  NamePool pool;
  const uint8_t bytes[] = {0xFF, 'A', 0, 0xC9, 0, 0x2D, 0x4E};  // unaligned: "A", U+00C9, U+4E2D
  const uint32_t name = AddNameFromLeBytes(pool, bytes + 1, 3);
  EXPECT_EQ(NameAt(pool, name, 3), u"A\u00C9\u4E2D");
  EXPECT_EQ(pool.At(name)[3], 0);
}

TEST(NamePool, ResetDropsEveryChunk) {
  NamePool pool;
  AddName(pool, u"abc", 3);
  pool.Reset();
  EXPECT_TRUE(pool.chunks.empty());
  EXPECT_EQ(pool.used, pool.chunkSize);
}

}  // namespace
}  // namespace qm
