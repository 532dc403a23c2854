#include "base/shared_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace qm {
namespace {

// A new lock whose first use is a reader and a writer at once (a drive's journal monitor and a
// search): they must never hold it together. MinGW's std::shared_mutex failed this about four
// times in ten under Wine.
TEST(SharedMutex, ANewLockTakenByAReaderAndAWriterAtOnceExcludesThem) {
  int overlaps = 0;
  for (int run = 0; run < 500; ++run) {
    SharedMutex lock;
    std::atomic<int> ready{0};
    std::atomic<bool> writing{false};
    std::atomic<bool> reading{false};
    std::atomic<bool> overlap{false};
    std::thread reader([&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      std::shared_lock guard(lock);
      reading.store(true);
      if (writing.load()) overlap.store(true);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      reading.store(false);
    });
    ready.fetch_add(1);
    while (ready.load() < 2) {
    }
    {
      std::unique_lock guard(lock);
      writing.store(true);
      if (reading.load()) overlap.store(true);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      if (reading.load()) overlap.store(true);
      writing.store(false);
    }
    reader.join();
    overlaps += overlap.load() ? 1 : 0;
  }
  EXPECT_EQ(overlaps, 0);
}

TEST(SharedMutex, ReadersShareAndTryLockRespectsTheHolder) {
  SharedMutex lock;
  {
    std::shared_lock first(lock);
    EXPECT_TRUE(lock.try_lock_shared());
    lock.unlock_shared();
    EXPECT_FALSE(lock.try_lock());
  }
  std::unique_lock writer(lock);
  bool readerGotIn = true;
  std::thread([&] { readerGotIn = lock.try_lock_shared(); }).join();
  EXPECT_FALSE(readerGotIn);
}

}  // namespace
}  // namespace qm
