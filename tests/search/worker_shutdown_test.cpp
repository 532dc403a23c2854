// Exit while workers run: shutdown sets shuttingDown and releases every drive, and no worker
// may read a drive after that. Each test holds a worker inside its work (in a file query, in a
// scan, waiting for a drive's lock) while shutdown begins, for longer than releasing the drives
// takes; ReleaseDrives must not return, nor free anything, before the worker has ended.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "folder_drive.h"
#include "index/journal_monitor.h"
#include "search/filter_view.h"
#include "search/search.h"
#include "search/sort.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::CountingAttributes;
using testing::FakeClock;
using testing::kRootFrn;
using testing::TestEntry;
using testing::WaitUntil;
using namespace std::chrono_literals;

// How long the drive a worker waits for stays busy after shutdown began: far longer than
// releasing the drives takes.
constexpr auto kBusyAfterShutdown = 50ms;

std::u16string DecimalOf(size_t n) {
  std::u16string text;
  for (char c : std::to_string(n)) text += char16_t(c);
  return text;
}

// Shutdown as the window runs it; the workers still running when the drives are gone.
int ShutDown() {
  shuttingDown.store(true);
  ReleaseDrives(driveList);
  return RunningWorkers();
}

bool DrivesReleased() {
  std::lock_guard guard(driveList.mutex);
  return driveList.entries.empty();
}

// Holds the worker thread that calls Hold, from the start of shutdown until the drives are
// gone, or for a second when the release waits for the worker as it must; then a little
// longer, so that a release that did not wait has returned meanwhile.
struct Holder {
  std::atomic<bool> reached{false};
  void Hold() {
    reached.store(true);
    WaitUntil([] { return ShuttingDown(); });
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (!DrivesReleased() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(20ms);
  }
};

class WorkerShutdownTest : public testing::IndexedDrivesTest {
 protected:
  // C: `files` files named file-N.txt; D: a few more.
  void AddDrives(size_t files) {
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < files; ++i) {
      entries.push_back({0x100 + i, kRootFrn, u"file-" + DecimalOf(i) + u".txt"});
    }
    AddDrive(u"C:", entries);
    AddDrive(u"D:", {{0x20, kRootFrn, u"file-d1.txt"}, {0x21, kRootFrn, u"file-d2.txt"}});
    Ready();
    // No monitor waits for a drive this test keeps busy.
    StopMonitor(Drive(0));
    StopMonitor(Drive(1));
  }

  // Drive D: leaves the DriveList and is kept by the caller: shutdown does not release it, so
  // this test may hold its lock across the release. A worker that took the list of drives before
  // goes on reading D:, and still C:.
  VolumeIndexPtr KeepDriveD() {
    std::lock_guard guard(driveList.mutex);
    VolumeIndexPtr d = std::move(driveList.entries[1]);
    driveList.entries.erase(driveList.entries.begin() + 1);
    return d;
  }

  // Shutdown while the worker waits for drive D:'s lock, held here as a journal batch would:
  // the release runs on its own thread and cannot end before the worker has.
  int ShutDownWhileDriveDIsBusy(std::unique_lock<SharedMutex>& busy) {
    shuttingDown.store(true);
    int left = -1;
    std::thread release([&left] {
      ReleaseDrives(driveList);
      left = RunningWorkers();
    });
    std::this_thread::sleep_for(kBusyAfterShutdown);
    busy.unlock();
    release.join();
    return left;
  }
};

TEST_F(WorkerShutdownTest, ExitDuringASearch) {
  AddDrives(500);
  std::unique_lock busy(Drive(1).lock);
  StartSearch(u"file", false, false);
  const uint64_t generation = searchGeneration.load();
  // The worker takes the list of drives, walks C: and waits for D:.
  std::this_thread::sleep_for(30ms);
  const VolumeIndexPtr d = KeepDriveD();
  EXPECT_EQ(ShutDownWhileDriveDIsBusy(busy), 0) << "a worker outlived the drives";
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation), 0u);
  EXPECT_EQ(Current(), nullptr);
}

// One million results (the records of two drives, repeated): shutdown while the sort worker
// waits for a drive at its first key, and at moments that fall into its several phases
// (copying, keys, the standard sort, the summary, publication).
TEST_F(WorkerShutdownTest, ExitDuringASortOfAMillionResults) {
  constexpr size_t kResults = 1000000;
  const auto millionResults = [this] {
    auto list = std::make_shared<MatchList>();
    list->reserve(kResults);
    for (uint32_t i = 1; i <= 2; ++i) list->push_back({&Drive(1), i});  // D: first
    while (list->size() < kResults) list->push_back({&Drive(0), uint32_t(1 + list->size() % 1000)});
    std::lock_guard guard(resultsMutex);
    currentResults = list;
    return ResultList(list);
  };

  AddDrives(1000);
  const ResultList published = millionResults();
  {
    const VolumeIndexPtr d = KeepDriveD();
    std::unique_lock busy(d->lock);
    ASSERT_TRUE(RequestSort(kColumnName));
    const uint64_t generation = searchGeneration.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ShutDownWhileDriveDIsBusy(busy), 0) << "a worker outlived the drives";
    EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation), 0u);
    EXPECT_EQ(Current(), published);
  }

  struct Moment {
    int32_t column;
    std::chrono::milliseconds delay;
  };
  for (const Moment& moment :
       {Moment{kColumnName, 0ms}, Moment{kColumnPath, 5ms}, Moment{kColumnName, 40ms},
        Moment{kColumnPath, 150ms}, Moment{kColumnName, 400ms}}) {
    SCOPED_TRACE(::testing::Message() << "column " << moment.column << ", shutdown "
                                      << moment.delay.count() << " ms after the click");
    shuttingDown.store(false);
    AddDrives(1000);
    millionResults();
    sortColumn.store(-1);
    ASSERT_TRUE(RequestSort(moment.column));
    std::this_thread::sleep_for(moment.delay);
    EXPECT_EQ(ShutDown(), 0) << "a worker outlived the drives";
  }
}

TEST_F(WorkerShutdownTest, NoWorkerStartsOnceShutdownHasBegun) {
  AddDrives(10);
  SearchAndWait(u"file");
  std::atomic<bool> ended{false};
  ASSERT_TRUE(StartWorker([&ended] {
    std::this_thread::sleep_for(30ms);
    ended.store(true);
  }));
  AwaitWorkers();
  EXPECT_TRUE(ended.load()) << "the wait ends only when the worker has";

  shuttingDown.store(true);
  const size_t posted = poster.Messages().size();
  StartSearch(u"file", false, false);
  EXPECT_FALSE(RequestSort(kColumnName));
  ApplyTagSelection(1);
  EXPECT_FALSE(StartWorker([] { ADD_FAILURE() << "started during shutdown"; }));
  EXPECT_EQ(RunningWorkers(), 0);
  EXPECT_EQ(activeSearchWorkers.load(), 0);
  EXPECT_EQ(activeFilterWorkers.load(), 0);
  EXPECT_EQ(poster.Messages().size(), posted);
  ReleaseDrives(driveList);
}

class FolderShutdownTest : public testing::FolderDriveTest {
 protected:
  void TearDown() override {
    fileAttributesOverride.store(nullptr);
    clockOverride.store(nullptr);
    sortColumn.store(-1);
    sortAscending.store(true);
    FolderDriveTest::TearDown();
  }
};

TEST_F(FolderShutdownTest, ExitDuringAPropertyExtraction) {
  MatchList items;
  for (int i = 0; i < 40; ++i) Write('C', "f" + std::to_string(i), "x");
  VolumeIndex& c = Index('C');
  for (int i = 0; i < 40; ++i) {
    items.push_back(ItemOf(c, u"C:\\f" + DecimalOf(size_t(i))));
  }
  Publish(items);
  const ResultList published = Current();

  // The extraction thread that makes the tenth file query is held before it stores the answer
  // in the drive's property cache.
  Holder holder;
  CountingAttributes counting;
  counting.onQuery = [&holder](uint64_t call) {
    if (call == 10) holder.Hold();
  };
  fileAttributesOverride.store(&counting);
  ASSERT_TRUE(RequestSort(kColumnSize));
  ASSERT_TRUE(WaitUntil([&] { return holder.reached.load(); }));
  EXPECT_EQ(ShutDown(), 0) << "a worker outlived the drives";
  EXPECT_EQ(poster.Messages().size(), 0u);
  EXPECT_EQ(Current(), published);
}

TEST_F(FolderShutdownTest, ExitDuringAContentScan) {
  for (int i = 0; i < 30; ++i) Write('C', "f" + std::to_string(i) + ".txt", "hit");
  Index('C');
  // The clock is read after each scanned file: the scan thread of the third is held.
  Holder holder;
  FakeClock clock;
  clock.onTick = [&holder](uint64_t call) {
    if (call == 3) holder.Hold();
  };
  clockOverride.store(&clock);
  StartSearch(u"s:hit", false, false);
  ASSERT_TRUE(WaitUntil([&] { return holder.reached.load(); }));
  EXPECT_EQ(ShutDown(), 0) << "a worker outlived the drives";
  for (const auto& message : poster.Messages()) EXPECT_NE(message.message, WM_SEARCH_DONE);
  EXPECT_EQ(Current(), nullptr);
}

}  // namespace
}  // namespace qm
