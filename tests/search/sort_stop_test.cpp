// The pieces a sort stops with: a sort or a growth of fresh memory that goes stale part way
// through gives up within a check's worth of work, and one that stays current finishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "base/shutting_down.h"
#include "search/results.h"
#include "search/sort_stop.h"

namespace qm {
namespace {

// An element whose construction number `raiseAt` starts a newer search, as a keystroke would
// while a sort grows its arrays.
struct Raising {
  static inline size_t made = 0;
  static inline size_t raiseAt = 0;
  Raising() {
    if (++made == raiseAt) searchGeneration.fetch_add(1);
  }
  uint64_t payload = 0;
};

TEST(SortStopTest, AGrowthOfFreshMemoryStopsAtTheSliceAfterTheSortWentStale) {
  constexpr size_t kSize = 1000000;  // eight MB of elements: several slices
  for (size_t raiseAt : {size_t(0), size_t(1), size_t(300000)}) {
    SCOPED_TRACE(raiseAt);
    Raising::made = 0;
    Raising::raiseAt = raiseAt;
    SortStop stop(searchGeneration.load());
    std::vector<Raising> items;
    const bool complete = ResizeStopping(items, kSize, stop);
    if (raiseAt == 0) {
      EXPECT_TRUE(complete);
      EXPECT_EQ(items.size(), kSize);
    } else {
      EXPECT_FALSE(complete);
      EXPECT_TRUE(stop.stale());
      EXPECT_GE(items.size(), raiseAt);
      EXPECT_LE(items.size(), raiseAt + (size_t(1) << 20) / sizeof(Raising)) << "one slice more";
    }
  }
  Raising::raiseAt = 0;
  SortStop shutdown(searchGeneration.load());
  shuttingDown.store(true);
  std::vector<uint32_t> ids;
  EXPECT_FALSE(ResizeStopping(ids, kSize, shutdown));
  shuttingDown.store(false);
  EXPECT_TRUE(ids.empty());
}

TEST(SortStopTest, ASortStopsWithinACheckOfGoingStaleAndOtherwiseSorts) {
  std::vector<uint32_t> values(200000);
  std::iota(values.begin(), values.end(), 0u);
  std::shuffle(values.begin(), values.end(), std::mt19937(7));
  for (size_t raiseAfter : {size_t(0), size_t(5000)}) {
    SCOPED_TRACE(raiseAfter);
    std::vector<uint32_t> sorted = values;
    SortStop stop(searchGeneration.load());
    size_t compared = 0, afterRaise = 0;
    const bool complete =
        SortStopping(sorted.begin(), sorted.end(), stop, [&](uint32_t a, uint32_t b) {
          if (++compared == raiseAfter) searchGeneration.fetch_add(1);
          if (raiseAfter && compared > raiseAfter) ++afterRaise;
          return a < b;
        });
    if (raiseAfter == 0) {
      EXPECT_TRUE(complete);
      EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    } else {
      EXPECT_FALSE(complete);
      EXPECT_LT(afterRaise, SortStop::kCheckEvery);
    }
  }
}

}  // namespace
}  // namespace qm
