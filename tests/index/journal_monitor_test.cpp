#include "index/journal_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "base/shutting_down.h"
#include "index/build_path.h"
#include "index/volume_build.h"
#include "platform/byte_order.h"
#include "standin/fake_volume.h"
#include "support/scripted_volume.h"

namespace qm {
namespace {

constexpr uint64_t kRoot = 5;
constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000, kNewName = 0x2000,
                   kClose = 0x80000000u, kDataExtend = 0x2;

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest() : volume(u"C:"), index(volume) {
    volume.SetJournal(0x77, 0, 1000);
    volume.AddEntry({kRoot, kRoot, 0x16, 1, u"."});
    volume.AddEntry({0x10, kRoot, 0x10, 2, u"Docs"});
    volume.AddEntry({0x11, kRoot, 0x10, 3, u"Archive"});
    volume.AddEntry({0x12, 0x10, 0x20, 4, u"report.txt"});
    EXPECT_TRUE(BuildVolumeIndex(index, u"C:"));
  }
  ~MonitorTest() override {
    StopMonitor(index);
    shuttingDown = false;
  }

  // Journals one entry after the build; the monitor picks it up on its next poll.
  void Journal(uint32_t reason, uint64_t frn, uint64_t parent, std::u16string name,
               uint32_t attributes = 0x20) {
    volume.AddChange({nextChangeUsn, reason, frn, parent, attributes, std::move(name)});
    nextChangeUsn += 0x100;
  }

  // Waits until the monitor has read everything journaled so far.
  void WaitForMonitor() {
    const int64_t target = volume.NextUsn();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::shared_lock guard(index.lock);
        if (index.nextUsn >= target) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "the monitor did not catch up";
  }

  std::set<std::u16string> LivePaths() {
    std::vector<uint64_t> live;
    {
      std::shared_lock guard(index.lock);
      for (uint64_t i = 0; i < RecordCount(index); ++i)
        if (!index.records[i].deleted) live.push_back(i);
    }
    std::set<std::u16string> paths;
    for (uint64_t i : live) paths.insert(BuildPath(index, i));
    return paths;
  }

  uint64_t Records() {
    std::shared_lock guard(index.lock);
    return RecordCount(index);
  }

  int64_t nextChangeUsn = 1000;
  FakeVolume volume;
  VolumeIndex index;
};

TEST_F(MonitorTest, CreationSeenSeveralTimesMakesOneRecord) {
  Journal(kCreate, 0x20, 0x10, u"new.txt");
  Journal(kCreate | kDataExtend, 0x20, 0x10, u"new.txt");
  Journal(kCreate | kDataExtend | kClose, 0x20, 0x10, u"new.txt");
  WaitForMonitor();
  EXPECT_EQ(Records(), 5u);
  EXPECT_TRUE(LivePaths().count(u"C:\\Docs\\new.txt"));
}

TEST_F(MonitorTest, DeletionMarksTheRecordAndDropsItsProperties) {
  StoreProperties(index, 0x12, PropertyInfo{10, 1, 1, true});
  Journal(kDelete | kClose, 0x12, 0x10, u"report.txt");
  WaitForMonitor();
  EXPECT_FALSE(LivePaths().count(u"C:\\Docs\\report.txt"));
  EXPECT_EQ(Records(), 4u) << "records are never removed";
  PropertyInfo info;
  EXPECT_FALSE(LookupProperties(index, 0x12, &info));
}

TEST_F(MonitorTest, MoveToAnotherDirectory) {
  Journal(kOldName, 0x12, 0x10, u"report.txt");
  Journal(kNewName, 0x12, 0x11, u"report.txt");
  Journal(kNewName | kClose, 0x12, 0x11, u"report.txt");
  WaitForMonitor();
  auto paths = LivePaths();
  EXPECT_FALSE(paths.count(u"C:\\Docs\\report.txt"));
  EXPECT_TRUE(paths.count(u"C:\\Archive\\report.txt"));
  EXPECT_EQ(Records(), 5u) << "one mark, one append; the parent is not compared";
}

TEST_F(MonitorTest, RenamedDirectoryShowsInChildrenAtOnce) {
  Journal(kOldName, 0x10, kRoot, u"Docs", 0x10);
  Journal(kNewName, 0x10, kRoot, u"Documents", 0x10);
  WaitForMonitor();
  EXPECT_TRUE(LivePaths().count(u"C:\\Documents\\report.txt"));
  EXPECT_FALSE(LivePaths().count(u"C:\\Docs"));
}

TEST_F(MonitorTest, CreatedAndRenamedBeforeCloseEndsWithOneLiveRecord) {
  Journal(kCreate, 0x21, 0x10, u"New Text Document.txt");
  Journal(kCreate | kOldName, 0x21, 0x10, u"New Text Document.txt");
  Journal(kCreate | kNewName, 0x21, 0x10, u"todo.txt");
  Journal(kCreate | kNewName | kClose, 0x21, 0x10, u"todo.txt");
  WaitForMonitor();
  auto paths = LivePaths();
  EXPECT_TRUE(paths.count(u"C:\\Docs\\todo.txt"));
  EXPECT_FALSE(paths.count(u"C:\\Docs\\New Text Document.txt"));
}

TEST_F(MonitorTest, CreatedAndDeletedBeforeCloseLeavesNoLiveRecord) {
  Journal(kCreate, 0x22, 0x10, u"~tmp.dat");
  Journal(kCreate | kDelete | kClose, 0x22, 0x10, u"~tmp.dat");
  WaitForMonitor();
  EXPECT_FALSE(LivePaths().count(u"C:\\Docs\\~tmp.dat"));
}

TEST_F(MonitorTest, OtherReasonsAreNotAskedFor) {
  Journal(kDataExtend | kClose, 0x12, 0x10, u"renamed in place.txt");
  Journal(kCreate | kClose, 0x23, 0x10, u"after.txt");
  WaitForMonitor();
  EXPECT_EQ(Records(), 5u) << "only the creation was returned";
  EXPECT_TRUE(LivePaths().count(u"C:\\Docs\\report.txt"));
  for (const FakeCall& call : volume.Calls()) {
    if (call.code != kFsctlReadUsnJournal || call.in.size() != 40) continue;
    ReadUsnJournalData sent = DecodeReadUsnJournalData(call.in.data());
    EXPECT_EQ(sent.reasonMask, 0x3300u);
    EXPECT_EQ(sent.returnOnlyOnClose, 0u);
    EXPECT_EQ(sent.bytesToWaitFor, 0u);
    EXPECT_EQ(sent.usnJournalId, 0x77u);
    EXPECT_EQ(call.outSize, 65536u);
  }
}

TEST_F(MonitorTest, LargeBurstIsTakenInOneReadPerPoll) {
  for (int i = 0; i < 3000; ++i)
    Journal(kCreate | kClose, 0x1000 + i, 0x10,
            u"burst file number " + std::u16string(1, char16_t(u'a' + i % 26)));
  WaitForMonitor();
  EXPECT_EQ(Records(), 3004u);
  // Every successful read is followed by a 300 ms pause.
  auto pauses = volume.Pauses();
  EXPECT_TRUE(std::count(pauses.begin(), pauses.end(), std::chrono::milliseconds(300)) >= 2);
}

TEST(MonitorErrors, EndingErrorsStopTheMonitor) {
  for (Win32Error error : {kErrorOperationAborted, kErrorDeviceNotConnected, kErrorJournalNotActive,
                           kErrorJournalEntryDeleted, kErrorAccessDenied, kErrorInvalidHandle}) {
    FakeVolume volume(u"C:");
    volume.AddEntry({kRoot, kRoot, 0x16, 1, u"."});
    volume.FailControl(kFsctlReadUsnJournal, 2, error);
    VolumeIndex index(volume);
    ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (index.monitoring.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(index.monitoring.load()) << "error " << error;
    // Nothing is read after an ending error.
    int reads = 0;
    for (const FakeCall& call : volume.Calls()) reads += call.code == kFsctlReadUsnJournal;
    EXPECT_EQ(reads, 2) << "error " << error;
    // A monitor that ended by itself is still joined and cleared.
    StopMonitor(index);
    EXPECT_FALSE(index.monitorThread.joinable());
  }
}

TEST(MonitorErrors, OtherErrorsAreRetriedAfterASecond) {
  FakeVolume volume(u"C:");
  volume.AddEntry({kRoot, kRoot, 0x16, 1, u"."});
  volume.FailControl(kFsctlReadUsnJournal, 1, kErrorInvalidParameter);
  volume.FailControl(kFsctlReadUsnJournal, 2, kErrorNotSupported);
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int reads = 0;
  while (reads < 4 && std::chrono::steady_clock::now() < deadline) {
    reads = 0;
    for (const FakeCall& call : volume.Calls()) reads += call.code == kFsctlReadUsnJournal;
  }
  EXPECT_TRUE(index.monitoring.load());
  StopMonitor(index);
  auto pauses = volume.Pauses();
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), std::chrono::seconds(1)), 2);
}

TEST(MonitorErrors, OverwrittenJournalLeavesTheDriveAsItWas) {
  FakeVolume volume(u"C:");
  volume.SetJournal(1, 0, 100);
  volume.AddEntry({kRoot, kRoot, 0x16, 1, u"."});
  volume.AddEntry({0x30, kRoot, 0x20, 2, u"a.txt"});
  // The journal was trimmed past the position the build recorded.
  volume.OnControl([&volume](uint32_t code, int nth) {
    if (code == kFsctlReadUsnJournal && nth == 1) volume.SetJournal(1, 5000, 6000);
  });
  VolumeIndex index(volume);
  ASSERT_TRUE(BuildVolumeIndex(index, u"C:"));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (index.monitoring.load() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(index.monitoring.load());
  std::shared_lock guard(index.lock);
  EXPECT_EQ(RecordCount(index), 2u);
  EXPECT_EQ(index.nextUsn, 100);
}

TEST(StopMonitor, NeverStartedMonitorOnlyClearsTheFlag) {
  testing::ScriptedVolume device;
  VolumeIndex index(device);
  index.monitoring = true;
  StopMonitor(index);
  EXPECT_FALSE(index.monitoring.load());
  EXPECT_TRUE(device.ControlCodes().empty());
}

// Bounds: a batch whose entry lies about its size ends there; what came before is applied.
TEST(ApplyJournalBatch, StopsAtAnUnsoundEntry) {
  testing::ScriptedVolume device;
  VolumeIndex index(device);
  testing::OutputBuilder out(0x500);
  out.Add({0x40, kRoot, 0, 0, kCreate, 0x20}, u"one")
      .Add({0x41, kRoot, 0, 0, kCreate, 0x20}, u"two");
  StoreLe32(out.bytes.data() + 8 + UsnRecordSize(3), 9999);  // the second entry's length
  ApplyJournalBatch(index, out.bytes.data(), out.bytes.size());
  ASSERT_EQ(RecordCount(index), 1u);
  EXPECT_EQ(RecordName(index, index.records[0]), u"one");
  EXPECT_EQ(*index.indexByFrn.Find(0x40), 0u);
}

}  // namespace
}  // namespace qm
