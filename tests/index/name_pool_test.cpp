#include "index/name_pool.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

std::u16string_view Lower(const char16_t* name, size_t length) {
  return {name + length + 1, length};
}

TEST(NamePool, StoresTheNameAndItsLowerCaseFormBehindIt) {
  NamePool pool;
  const char16_t* name = AddName(pool, u"README.TXT", 10);
  EXPECT_EQ(std::u16string_view(name, 10), u"README.TXT");
  EXPECT_EQ(name[10], 0);
  EXPECT_EQ(Lower(name, 10), u"readme.txt");
  EXPECT_EQ(name[21], 0);
  EXPECT_EQ(pool.used, 22u);
}

TEST(NamePool, FoldsOnlyAToZ) {
  NamePool pool;
  const std::u16string source = u"AZaz09.@[`\u00C9\u00E9\u0130\u4E2D";
  const char16_t* name = AddName(pool, source.data(), source.size());
  EXPECT_EQ(Lower(name, source.size()), u"azaz09.@[`\u00C9\u00E9\u0130\u4E2D");
}

TEST(NamePool, EmptyNameTakesTwoNuls) {
  NamePool pool;
  const char16_t* first = AddName(pool, u"x", 1);
  const char16_t* empty = AddName(pool, u"", 0);
  EXPECT_EQ(empty, first + 4);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(empty[1], 0);
  EXPECT_EQ(pool.used, 6u);
}

TEST(NamePool, LongestNameTakes512Units) {
  NamePool pool;
  std::u16string name(255, u'Q');
  AddName(pool, name.data(), name.size());
  EXPECT_EQ(pool.used, 512u);
}

TEST(NamePool, NameThatDoesNotFitOpensANewChunkAndLeavesTheRestEmpty) {
  NamePool pool;
  pool.chunkSize = 16;
  pool.used = pool.chunkSize;
  const char16_t* a = AddName(pool, u"abcde", 5);  // 12 units
  ASSERT_EQ(pool.chunks.size(), 1u);
  const char16_t* b = AddName(pool, u"fgh", 3);  // 8 units: 12 + 8 > 16
  ASSERT_EQ(pool.chunks.size(), 2u);
  EXPECT_EQ(b, pool.chunks[1].get());
  EXPECT_EQ(pool.used, 8u);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(pool.chunks[0][i], 0) << "rest of the old chunk";
  EXPECT_EQ(std::u16string_view(a, 5), u"abcde") << "older names stay where they were";
  const char16_t* c = AddName(pool, u"ij", 2);  // 6 units: 14 used
  EXPECT_EQ(c, pool.chunks[1].get() + 8);
  AddName(pool, u"", 0);  // 2 units: exactly fills the chunk
  EXPECT_EQ(pool.used, 16u);
  EXPECT_EQ(pool.chunks.size(), 2u);
  // A full chunk still has zero units behind its last name for scans that read ahead.
  for (uint64_t i = 16; i < 16 + NamePool::kScanSlack; ++i) EXPECT_EQ(pool.chunks[1][i], 0);
  EXPECT_EQ(pool.MemoryBytes(), 2 * (16 + NamePool::kScanSlack) * sizeof(char16_t));
}

TEST(NamePool, ReadsLittleEndianBytesAtAnyAlignment) {
  NamePool pool;
  const uint8_t bytes[] = {0xFF, 'A', 0, 0xC9, 0, 0x2D, 0x4E};  // unaligned: "A", U+00C9, U+4E2D
  const char16_t* name = AddNameFromLeBytes(pool, bytes + 1, 3);
  EXPECT_EQ(std::u16string_view(name, 3), u"A\u00C9\u4E2D");
  EXPECT_EQ(Lower(name, 3), u"a\u00C9\u4E2D");
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
