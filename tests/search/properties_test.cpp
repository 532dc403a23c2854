#include "search/properties.h"

#include <gtest/gtest.h>

#include "base/language.h"
#include "folder_drive.h"
#include "index/journal_monitor.h"
#include "standin/fake_volume.h"
#include "support/store_builder.h"

namespace qm {
namespace {

using testing::CountingAttributes;
using testing::FakeClock;
using testing::FolderDriveTest;
namespace fs = std::filesystem;

TEST(PropertiesChunkTest, ThreeContiguousThirds) {
  struct Case {
    uint64_t total;
    ChunkRange shares[3];
  };
  const Case cases[] = {
      {0, {{0, 0}, {0, 0}, {0, 0}}}, {1, {{0, 1}, {1, 1}, {1, 1}}},   {2, {{0, 1}, {1, 2}, {2, 2}}},
      {3, {{0, 1}, {1, 2}, {2, 3}}}, {10, {{0, 4}, {4, 8}, {8, 10}}},
  };
  for (const Case& c : cases) {
    for (uint32_t k = 0; k < 3; ++k) {
      const ChunkRange share = ChunkOf(k, c.total);
      EXPECT_EQ(share.begin, c.shares[k].begin) << c.total << " entries, thread " << k;
      EXPECT_EQ(share.end, c.shares[k].end) << c.total << " entries, thread " << k;
    }
  }
}

TEST(PropertiesReportTest, OnlyAtMultiplesAndAfterTheInterval) {
  struct Case {
    uint64_t last, p, now;
    bool due;
  };
  const Case cases[] = {
      {0, 500, 101, true},    // the first report can come at the 500th entry
      {0, 500, 100, false},   // exactly 100 ms is not enough
      {0, 499, 5000, false},  // not a multiple
      {0, 1000, 5000, true},
      {5000, 1500, 4000, false},  // the clock is behind the last report: signed difference
      {5000, 0, 6000, true},      // 0 is a multiple
  };
  for (const Case& c : cases) {
    std::atomic<uint64_t> last{c.last};
    EXPECT_EQ(ClaimProgressReport(last, c.p, 500, c.now), c.due) << c.p << " at " << c.now;
    EXPECT_EQ(last.load(), c.due ? c.now : c.last);
  }
}

class PropertiesTest : public FolderDriveTest {};

TEST_F(PropertiesTest, ReadsOnceThenAnswersFromTheCache) {
  Write('C', "docs/report.txt", std::string(3000, 'x'));
  MakeDir('C', "empty");
  fs::last_write_time(Folder('C') / "docs/report.txt",
                      fs::file_time_type::clock::now() - std::chrono::hours(48));
  VolumeIndex& c = Index('C');
  CountingAttributes counting;
  fileAttributesOverride.store(&counting);

  const MatchItem file = ItemOf(c, u"C:\\docs\\report.txt");
  PropertyInfo info;
  GetProperties(c, file.recordIndex, &info);
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.size, 3000);
  EXPECT_NE(info.lastWriteTime, 0u);
  EXPECT_NE(info.creationTime, 0u);
  // The write time was set two days back. Under Wine the creation time is the older of the
  // change and write times, so there the two are equal.
#ifdef _WIN32
  EXPECT_LE(info.lastWriteTime, info.creationTime);
#else
  EXPECT_LT(info.lastWriteTime, info.creationTime) << "the write time was set two days back";
#endif
  EXPECT_EQ(counting.calls.load(), 1u);

  PropertyInfo again;
  GetProperties(c, file.recordIndex, &again);
  EXPECT_EQ(counting.calls.load(), 1u) << "the second answer comes from the cache";
  EXPECT_EQ(again.size, 3000);
  EXPECT_EQ(again.lastWriteTime, info.lastWriteTime);

  // A file deleted after it was cached keeps its values until the journal forgets them. The
  // monitor stops first: it would forget them on its own at any moment, and a query more would
  // be counted; here they are forgotten by hand.
  StopMonitor(c);
  fs::remove(Folder('C') / "docs/report.txt");
  PropertyInfo stale;
  GetProperties(c, file.recordIndex, &stale);
  EXPECT_EQ(stale.size, 3000);
  uint64_t frn;
  {
    std::shared_lock guard(c.lock);
    frn = c.records[file.recordIndex].frn;
  }
  ForgetProperties(c, frn);
  PropertyInfo gone;
  GetProperties(c, file.recordIndex, &gone);
  EXPECT_TRUE(gone.valid) << "a failed query is cached as zeros, still valid";
  EXPECT_EQ(gone.size, 0);
  EXPECT_EQ(gone.lastWriteTime, 0u);
  EXPECT_EQ(gone.creationTime, 0u);
  GetProperties(c, file.recordIndex, &gone);
  EXPECT_EQ(counting.calls.load(), 2u) << "a failure costs one query until forgotten";

  const MatchItem directory = ItemOf(c, u"C:\\empty");
  PropertyInfo folder;
  GetProperties(c, directory.recordIndex, &folder);
  EXPECT_TRUE(folder.valid);
  EXPECT_EQ(folder.size, 0) << "a directory's size is 0";
  EXPECT_NE(folder.lastWriteTime, 0u);
}

TEST_F(PropertiesTest, AnIndexOutOfRangeLeavesTheOutputAlone) {
  VolumeIndex& c = Index('C');
  CountingAttributes counting;
  fileAttributesOverride.store(&counting);
  PropertyInfo info;
  info.size = 77;
  GetProperties(c, 1u << 30, &info);
  EXPECT_EQ(info.size, 77);
  EXPECT_FALSE(info.valid);
  EXPECT_EQ(counting.calls.load(), 0u);
}

// Many records that need no files: the queries fail and cache zeros.
class PropertyRunTest : public FolderDriveTest {
 protected:
  MatchList Entries(size_t count) {
    index_.reset();
    volume_ = std::make_unique<FakeVolume>(u"Z:");
    index_.reset(new VolumeIndex(*volume_));
    index_->drive = u"Z:";
    testing::AddTestRecord(*index_, 5, 5, u".", true);
    MatchList entries;
    for (size_t i = 0; i < count; ++i) {
      const std::u16string name = u"f" + std::u16string(1, char16_t(u'a' + i % 26));
      entries.push_back(
          {index_.get(), uint32_t(testing::AddTestRecord(*index_, 100 + i, 5, name))});
    }
    return entries;
  }
  size_t Cached() {
    std::shared_lock guard(index_->propertiesLock);
    return index_->properties.size();
  }
  void TearDown() override {
    FolderDriveTest::TearDown();
    index_.reset();
  }

  std::unique_ptr<FakeVolume> volume_;
  VolumeIndexPtr index_;
};

TEST_F(PropertyRunTest, ProgressOnlyAtMultiplesOf500AndEvery100Ms) {
  struct Case {
    size_t entries;
    uint64_t start, step;  // the fake tick count and how far it moves per entry
    std::vector<std::u16string> titles;
  };
  const Case cases[] = {
      {499, 1000, 1000, {}},
      {1500,
       1,
       1,
       {u"Extracting properties... (Processed 500 / 1500)",
        u"Extracting properties... (Processed 1000 / 1500)",
        u"Extracting properties... (Processed 1500 / 1500)"}},
      {1500, 50, 0, {}},  // within 100 ms of the start
      {1500, 1000, 0, {u"Extracting properties... (Processed 500 / 1500)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    const MatchList entries = Entries(c.entries);
    FakeClock clock;
    clock.now = c.start;
    clock.step = c.step;
    clockOverride.store(&clock);
    searchGeneration.store(40);
    PropertyRun run(entries, 40);
    // One thread after the other, so that the entries finish in a known order.
    for (uint32_t k = 0; k < 3; ++k) ExtractPropertiesChunk(k, run);
    EXPECT_EQ(run.processed.load(), c.entries);
    EXPECT_EQ(Cached(), c.entries + 0);
    for (const auto& message : poster.Messages()) EXPECT_EQ(message.wParam, 40u);
    EXPECT_EQ(TakeTitles(), c.titles);
    clockOverride.store(nullptr);
  }
}

TEST_F(PropertyRunTest, ChineseProgressText) {
  const MatchList entries = Entries(500);
  FakeClock clock;
  clock.now = 200;
  clockOverride.store(&clock);
  chineseUi.store(true);
  searchGeneration.store(41);
  PropertyRun run(entries, 41);
  ExtractPropertiesChunk(0, run);
  ExtractPropertiesChunk(1, run);
  ExtractPropertiesChunk(2, run);
  chineseUi.store(false);
  EXPECT_EQ(TakeTitles(),
            std::vector<std::u16string>{u"多线程极速提取属性中... (已处理 500 / 500)"});
}

TEST_F(PropertyRunTest, ThreeThreadsFillTheCacheAndStopWhenOvertaken) {
  {
    const MatchList entries = Entries(1000);
    searchGeneration.store(50);
    ExtractProperties(entries, 50);
    EXPECT_EQ(Cached(), 1000u);
  }
  {
    const MatchList entries = Entries(3000);
    CountingAttributes counting;
    counting.onQuery = [](uint64_t call) {
      if (call == 100) searchGeneration.fetch_add(1);  // a new search starts
    };
    fileAttributesOverride.store(&counting);
    searchGeneration.store(60);
    ExtractProperties(entries, 60);
    // Each thread finishes at most the entry it is on.
    EXPECT_LE(counting.calls.load(), 103u);
    EXPECT_LT(Cached(), 3000u);
    fileAttributesOverride.store(nullptr);
  }
  {
    const MatchList entries = Entries(3000);
    CountingAttributes counting;
    counting.onQuery = [](uint64_t call) {
      if (call == 100) shuttingDown.store(true);
    };
    fileAttributesOverride.store(&counting);
    searchGeneration.store(70);
    ExtractProperties(entries, 70);
    EXPECT_LE(counting.calls.load(), 103u);
    shuttingDown.store(false);
    fileAttributesOverride.store(nullptr);
  }
}

}  // namespace
}  // namespace qm
