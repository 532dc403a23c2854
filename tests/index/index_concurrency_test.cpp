// Races worth running under ThreadSanitizer: the build's producer and consumer, and readers
// walking a drive while the journal monitor applies large batches.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "base/shutting_down.h"
#include "index/build_path.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"
#include "standin/fake_volume.h"
#include "standin/synthetic_volume.h"

namespace qm {
namespace {

// The consumer parses far more slowly than the stand-in answers reads, so buffers pile up in
// the queue; every one of them is still parsed before the map is built.
TEST(IndexConcurrency, BuildWithAQueueOfBuffers) {
  FakeVolume volume(u"C:");
  SyntheticVolumeOptions options;
  options.seed = 11;
  options.entryCount = 60000;
  GenerateSyntheticVolume(options, volume);
  VolumeIndexPtr index(new VolumeIndex(volume));
  ASSERT_TRUE(BuildVolumeIndex(*index, u"C:"));
  StopMonitor(*index);
  std::shared_lock guard(index->lock);
  EXPECT_EQ(RecordCount(*index), volume.EntryCount());
  EXPECT_EQ(index->indexByFrn.size(), volume.EntryCount());
}

TEST(IndexConcurrency, ReadersDuringJournalBatchesAndShutdown) {
  FakeVolume volume(u"C:");
  SyntheticVolumeOptions options;
  options.seed = 12;
  options.entryCount = 20000;
  options.changeCount = 20000;  // journaled right after the enumeration
  GenerateSyntheticVolume(options, volume);
  VolumeIndexPtr index(new VolumeIndex(volume));
  ASSERT_TRUE(BuildVolumeIndex(*index, u"C:"));

  std::atomic<bool> stop{false};
  std::atomic<uint64_t> pathsBuilt{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      std::mt19937_64 random(r);
      while (!stop.load() && !ShuttingDown()) {
        uint64_t count = 0, live = 0;
        {
          std::shared_lock guard(index->lock);
          count = RecordCount(*index);
          for (const FileRecord& record : index->records) live += record.deleted == 0;
          // Every live record is the newest record of its reference number.
          for (uint64_t i = count > 64 ? count - 64 : 0; i < count; ++i) {
            const FileRecord& record = index->records[i];
            if (!record.deleted) {
              ASSERT_EQ(*index->indexByFrn.Find(record.frn), i);
            }
          }
        }
        ASSERT_LE(live, count);
        for (int k = 0; k < 50; ++k) {
          std::u16string path = BuildPath(*index, random() % count);
          ASSERT_EQ(path.substr(0, 2), u"C:");
          pathsBuilt.fetch_add(1);
        }
      }
    });
  }

  const int64_t target = volume.NextUsn();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    {
      std::shared_lock guard(index->lock);
      if (index->nextUsn >= target) break;
    }
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the monitor did not catch up";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Shut down while the readers are still at work.
  shuttingDown = true;
  StopMonitor(*index);
  for (auto& reader : readers) reader.join();
  EXPECT_GT(pathsBuilt.load(), 0u);
  EXPECT_FALSE(index->monitoring.load());
  index.reset();
  shuttingDown = false;
}

}  // namespace
}  // namespace qm
