#include "index/frn_map.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace qm {
namespace {

// The map must agree with the standard one on any sequence of sets and finds, including the
// keys that a flat table treats specially (0 and all bits set).
TEST(FrnMap, AgreesWithAStandardMap) {
  std::mt19937_64 random(7);
  FrnMap map;
  std::unordered_map<uint64_t, uint32_t> reference;
  const uint64_t special[] = {0, ~uint64_t(0), 1, 0x0005000000000005ULL};
  for (int i = 0; i < 200000; ++i) {
    uint64_t key = (i % 97 == 0) ? special[i % 4] : (random() % 50000) | (random() << 48);
    uint32_t value = uint32_t(random());
    map.Set(key, value);
    reference[key] = value;
  }
  ASSERT_EQ(map.size(), reference.size());
  for (const auto& [key, value] : reference) {
    const uint32_t* found = map.Find(key);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, value);
  }
  for (int i = 0; i < 1000; ++i) {
    uint64_t key = random() | 1;
    EXPECT_EQ(map.Find(key) != nullptr, reference.count(key) == 1);
  }
}

TEST(FrnMap, OverwritesAndClears) {
  FrnMap map;
  EXPECT_EQ(map.Find(5), nullptr);
  map.Set(5, 1);
  map.Set(5, 2);
  map.Set(~uint64_t(0), 3);
  map.Set(~uint64_t(0), 4);
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(*map.Find(5), 2u);
  EXPECT_EQ(*map.Find(~uint64_t(0)), 4u);
  map.Clear();
  EXPECT_EQ(map.size(), 0u);
  EXPECT_EQ(map.Find(5), nullptr);
  EXPECT_EQ(map.Find(~uint64_t(0)), nullptr);
  map.Set(6, 6);
  EXPECT_EQ(*map.Find(6), 6u);
}

}  // namespace
}  // namespace qm
