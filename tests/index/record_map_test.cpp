// The map from reference number to newest record keeps only 32 bits of each number and reads the
// rest from the record: it must agree with a standard map however many numbers share those
// bits, through growth (which rehashes by the records' numbers) and overwrites.
#include "index/record_map.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace qm {
namespace {

TEST(RecordMap, AgreesWithAStandardMapWhenNumbersShareTheirTag) {
  std::mt19937_64 random(11);
  RecordDeque records;
  RecordMap map(records);
  std::unordered_map<uint64_t, uint32_t> reference;
  const uint64_t special[] = {0, ~uint64_t(0), 5, 0x0005000000000005ULL};
  for (int i = 0; i < 300000; ++i) {
    uint64_t frn;
    switch (i % 5) {
      case 0:  // a segment whose number comes back with a new sequence number
        frn = (random() % 20000) | (random() % 8) << 48;
        break;
      case 1: {  // the same tag as a number met before: the two halves swapped
        const uint64_t seen = (random() % 20000) | (random() % 8) << 48;
        frn = seen << 32 | seen >> 32;
        break;
      }
      case 2:
        frn = special[random() % 4];
        break;
      default:
        frn = random();
    }
    records.push_back(FileRecord{frn, 5, 0, 1, 0, 0, 0});
    const uint32_t index = uint32_t(records.size() - 1);
    map.Set(frn, index);
    reference[frn] = index;
  }
  ASSERT_EQ(map.size(), reference.size());
  for (const auto& [frn, index] : reference) {
    const uint32_t* found = map.Find(frn);
    ASSERT_NE(found, nullptr) << frn;
    EXPECT_EQ(*found, index) << "the newest record of " << frn;
  }
  for (int i = 0; i < 20000; ++i) {
    const uint64_t frn = random();
    EXPECT_EQ(map.Find(frn) != nullptr, reference.count(frn) == 1) << frn;
  }

  map.Clear();
  EXPECT_EQ(map.size(), 0u);
  EXPECT_EQ(map.Find(5), nullptr);
  map.Reserve(100);
  EXPECT_EQ(map.Find(0), nullptr);
  map.Set(records[0].frn, 0);
  EXPECT_EQ(*map.Find(records[0].frn), 0u);
}

}  // namespace
}  // namespace qm
