#include "base/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qm {
namespace {

// Every part runs exactly once, whatever the number of helpers, also while other callers run
// jobs of their own on the same pool at the same time.
TEST(ThreadPoolTest, EveryPartRunsOnceBesideOtherCallers) {
  for (unsigned helpers : {0u, 1u, 3u}) {
    ThreadPool pool(helpers);
    EXPECT_EQ(pool.Width(), helpers + 1);
    constexpr size_t kParts = 500;
    constexpr int kCallers = 3;
    constexpr int kRounds = 20;
    std::vector<std::atomic<int>> runs(kCallers * kParts);
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
      callers.emplace_back([&, c] {
        for (int round = 0; round < kRounds; ++round) {
          pool.ParallelFor(kParts, [&](size_t i) { runs[c * kParts + i].fetch_add(1); });
        }
      });
    }
    for (std::thread& caller : callers) caller.join();
    for (size_t i = 0; i < runs.size(); ++i) {
      ASSERT_EQ(runs[i].load(), kRounds) << helpers << " helpers, part " << i;
    }
  }
}

// A part that throws does not stop the others; the caller gets the exception once every part
// has returned, and the pool goes on serving.
TEST(ThreadPoolTest, APartThatThrowsReachesTheCallerAfterTheOthers) {
  ThreadPool pool(2);
  std::atomic<int> ran{0};
  EXPECT_THROW(pool.ParallelFor(64,
                                [&](size_t i) {
                                  ran.fetch_add(1);
                                  if (i == 5) throw std::runtime_error("part 5");
                                }),
               std::runtime_error);
  EXPECT_EQ(ran.load(), 64);
  pool.ParallelFor(8, [&](size_t) { ran.fetch_add(1); });
  EXPECT_EQ(ran.load(), 72);
}

TEST(ThreadPoolTest, AnOverrideStandsForTheSharedPoolWhileItLives) {
  ThreadPool alone(0);
  {
    PoolOverride single(alone);
    EXPECT_EQ(&SharedPool(), &alone);
  }
  EXPECT_NE(&SharedPool(), &alone);
}

}  // namespace
}  // namespace qm
