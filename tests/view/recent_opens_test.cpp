#include "view/recent_opens.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/window_messages.h"
#include "config/config_dir.h"
#include "platform/clock.h"
#include "search/search.h"
#include "support/config_fakes.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::kRootFrn;
using Paths = std::vector<std::u16string>;

// A tick count that moves 10 ms at every reading.
class StepClock : public Clock {
 public:
  uint64_t TickCount() override { return ticks.fetch_add(10); }
  bool ToLocalTime(uint64_t, LocalTimeParts*) override { return false; }

  std::atomic<uint64_t> ticks{1000};
};

constexpr std::string_view kBom = "\xEF\xBB\xBF";

class RecentOpensTest : public testing::IndexedDrivesTest {
 protected:
  RecentOpensTest() : system(folder.program()) { clockOverride.store(&clock); }
  ~RecentOpensTest() override { clockOverride.store(nullptr); }

  // C: \Docs\report.txt, \Docs\notes.md, \Docs\Sub (directory)
  void AddDriveC() {
    AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true},
                     {0x12, 0x10, u"report.txt"},
                     {0x13, 0x10, u"notes.md"},
                     {0x14, 0x10, u"Sub", true}});
  }

  std::u16string IniPath() { return RecentIniPath(system); }
  std::string IniBytes() { return testing::FileBytes(IniPath()).value_or("<missing>"); }
  void PutIni(std::string_view text) {
    std::string bytes(kBom);
    bytes += text;
    testing::PutFileBytes(IniPath(), bytes);
  }

  static Paths RecentPaths() {
    std::lock_guard guard(recentMutex);
    Paths paths;
    for (const RecentEntry& entry : recentOpens) paths.push_back(entry.path);
    return paths;
  }
  // The list an empty search box shows, as the window gets it.
  Paths ShownForEmptyBox() {
    StartSearch(u"", false, true);
    EXPECT_EQ(poster.Count(WM_SEARCH_DONE, searchGeneration.load()), 1u);
    return PathsOf(Current());
  }

  testing::TempFolder folder;
  testing::TestConfigSystem system;
  StepClock clock;
};

TEST_F(RecentOpensTest, OpeningTwiceLeavesOneEntryAtTheFrontWithTheNewerStamp) {
  AddDriveC();
  Ready();
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\notes.md"));
  uint64_t firstStamp = 0;
  {
    std::lock_guard guard(recentMutex);
    firstStamp = recentOpens[1].stamp;
  }
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  EXPECT_EQ(RecentPaths(), (Paths{u"C:\\Docs\\report.txt", u"C:\\Docs\\notes.md"}));
  {
    std::lock_guard guard(recentMutex);
    EXPECT_GT(recentOpens[0].stamp, firstStamp);
    EXPECT_EQ(recentOpens[0].item.volume, &Drive(0));
    EXPECT_EQ(BuildPath(Drive(0), recentOpens[0].item.recordIndex), u"C:\\Docs\\report.txt");
  }
  // Saved at once, most recent first, CR LF line ends.
  uint64_t stamp0 = 0, stamp1 = 0;
  {
    std::lock_guard guard(recentMutex);
    stamp0 = recentOpens[0].stamp;
    stamp1 = recentOpens[1].stamp;
  }
  EXPECT_EQ(IniBytes(), std::string(kBom) + std::to_string(stamp0) + "\tC:\\Docs\\report.txt\r\n" +
                            std::to_string(stamp1) + "\tC:\\Docs\\notes.md\r\n");
}

TEST_F(RecentOpensTest, PathDifferingByCaseOrSlashReplacesTheEntry) {
  AddDriveC();
  Ready();
  PutIni("7\tc:/docs/REPORT.TXT\n8\tC:\\Docs\\notes.md\n");
  LoadRecentOpens(system);
  ASSERT_EQ(RecentPaths().size(), 2u);
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  EXPECT_EQ(RecentPaths(), (Paths{u"C:\\Docs\\report.txt", u"C:\\Docs\\notes.md"}));
}

TEST_F(RecentOpensTest, TheHundredAndFirstOpenDropsTheOldest) {
  std::vector<testing::TestEntry> entries;
  for (uint64_t i = 0; i < 101; ++i) {
    entries.push_back({0x100 + i, kRootFrn,
                       u"file" + std::u16string(1, u'0' + i / 100) +
                           std::u16string(1, u'0' + i / 10 % 10) +
                           std::u16string(1, u'0' + i % 10) + u".txt"});
  }
  AddDrive(u"C:", entries);
  Ready();
  for (int i = 0; i < 101; ++i) {
    AddRecentOpen(system, ItemOf(0, u"C:\\" + entries[size_t(i)].name));
  }
  const Paths paths = RecentPaths();
  ASSERT_EQ(paths.size(), 100u);
  EXPECT_EQ(paths.front(), u"C:\\file100.txt");
  EXPECT_EQ(paths.back(), u"C:\\file001.txt");
  const std::string bytes = IniBytes();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 100);
  EXPECT_EQ(bytes.find("file000"), std::string::npos);
}

TEST_F(RecentOpensTest, AfterARestartEntriesAreResolvedByPathInFileOrder) {
  AddDriveC();
  AddDrive(u"D:", {{0x20, kRootFrn, u"Music", true}, {0x21, 0x20, u"Song.mp3"}});
  Ready();
  PutIni(
      "11\td:/music/song.MP3\r\n"
      "no tab here\r\n"
      "12\t\r\n"
      "abc\tC:\\Docs\\Gone.txt\r\n"
      "13\tc:\\DOCS\\report.txt\r\n"
      "  14\tC:/Docs/Sub  \r\n");
  LoadRecentOpens(system);
  {
    std::lock_guard guard(recentMutex);
    ASSERT_EQ(recentOpens.size(), 4u);
    EXPECT_EQ(recentOpens[1].stamp, 0u) << "a stamp of letters loads as 0";
    for (const RecentEntry& entry : recentOpens) EXPECT_EQ(entry.item.volume, nullptr);
  }
  EXPECT_EQ(ShownForEmptyBox(),
            (Paths{u"D:\\Music\\Song.mp3", u"C:\\Docs\\report.txt", u"C:\\Docs\\Sub"}));
  {
    // Resolved entries now carry their record; the missing one stays, unresolved.
    std::lock_guard guard(recentMutex);
    EXPECT_EQ(recentOpens[0].item.volume, &Drive(1));
    EXPECT_EQ(recentOpens[1].item.volume, nullptr);
    EXPECT_EQ(recentOpens[2].item.volume, &Drive(0));
  }

  // A file renamed since no longer shows, but stays in the list and the file.
  Journal(0, testing::kReasonOldName, 0x12, 0x10, u"report.txt");
  Journal(0, testing::kReasonNewName | testing::kReasonClose, 0x12, 0x10, u"summary.txt");
  WaitForMonitors();
  EXPECT_EQ(ShownForEmptyBox(), (Paths{u"D:\\Music\\Song.mp3", u"C:\\Docs\\Sub"}));
  EXPECT_EQ(RecentPaths().size(), 4u);
  EXPECT_NE(IniBytes().find("Gone.txt"), std::string::npos) << "loading never rewrites the file";
}

TEST_F(RecentOpensTest, FileDeletedAndRecreatedAtTheSamePathIsFoundAgain) {
  AddDriveC();
  Ready();
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  const uint32_t before = uint32_t(RecordOf(0, u"C:\\Docs\\report.txt"));
  DeleteFile(0, 0x12, 0x10, u"report.txt");
  WaitForMonitors();
  EXPECT_EQ(ShownForEmptyBox(), Paths{});
  CreateFile(0, 0x40, 0x10, u"report.txt");
  WaitForMonitors();
  EXPECT_EQ(ShownForEmptyBox(), Paths{u"C:\\Docs\\report.txt"});
  std::lock_guard guard(recentMutex);
  EXPECT_NE(recentOpens[0].item.recordIndex, before);
  EXPECT_EQ(recentOpens[0].item.recordIndex, uint32_t(RecordOf(0, u"C:\\Docs\\report.txt")));
}

TEST_F(RecentOpensTest, GoneRecordsAreNotAdded) {
  AddDriveC();
  Ready();
  const MatchItem report = ItemOf(0, u"C:\\Docs\\report.txt");
  DeleteFile(0, 0x12, 0x10, u"report.txt");
  WaitForMonitors();
  AddRecentOpen(system, report);
  AddRecentOpen(system, MatchItem{});
  AddRecentOpen(system, MatchItem{&Drive(0), 5000});
  EXPECT_TRUE(RecentPaths().empty());
  EXPECT_FALSE(testing::FileExists(IniPath())) << "nothing added, nothing saved";
}

TEST_F(RecentOpensTest, ClearLeavesOnlyTheByteOrderMark) {
  AddDriveC();
  Ready();
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  EXPECT_EQ(ShownForEmptyBox().size(), 1u);
  ClearRecentOpens(system);
  EXPECT_TRUE(RecentPaths().empty());
  EXPECT_EQ(IniBytes(), kBom);
  EXPECT_EQ(ShownForEmptyBox(), Paths{});
}

TEST_F(RecentOpensTest, FailedSaveKeepsTheFileAndTheList) {
  AddDriveC();
  Ready();
  EXPECT_TRUE(AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt")));
  const std::string saved = IniBytes();
  system.failReplace = true;
  EXPECT_FALSE(AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\notes.md")));
  EXPECT_EQ(RecentPaths(), (Paths{u"C:\\Docs\\notes.md", u"C:\\Docs\\report.txt"}));
  EXPECT_EQ(IniBytes(), saved);
  EXPECT_TRUE(AddRecentOpen(system, MatchItem{}));  // nothing added, nothing to save
  EXPECT_FALSE(SaveRecentOpens(system));
  EXPECT_FALSE(ClearRecentOpens(system));
  EXPECT_EQ(IniBytes(), saved);
  system.failReplace = false;
  EXPECT_TRUE(ClearRecentOpens(system));
  EXPECT_EQ(IniBytes(), kBom);
}

TEST_F(RecentOpensTest, MissingOrUnreadableFileLeavesTheListEmpty) {
  LoadRecentOpens(system);
  EXPECT_TRUE(RecentPaths().empty());
  testing::PutFileBytes(IniPath(), "\xFE\xFF\x00\x31");  // big-endian: unreadable
  LoadRecentOpens(system);
  EXPECT_TRUE(RecentPaths().empty());
}

TEST_F(RecentOpensTest, UnreadableFileIsKeptBeforeTheNextSaveReplacesIt) {
  AddDriveC();
  Ready();
  const std::u16string kept = IniPath() + u".unreadable";
  const struct {
    std::string bytes;
    bool unreadable;
  } cases[] = {
      {std::string("\xFE\xFF\0"
                   "1\0\t\0C",
                   8),
       true},  // UTF-16 big-endian
      {"\xEF\xBB\xBFno tab on this line\r\n", true},
      {std::string("\0\0\0\0", 4), true},
      {"", false},
      {"\xEF\xBB\xBF", false},  // what clearing the list leaves
      {"\xEF\xBB\xBF\r\n \t\r\n", false},
      {"\xEF\xBB\xBF"
       "5\tC:\\Docs\\report.txt\r\nno tab\r\n",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    testing::PutFileBytes(kept, "an older unreadable file");
    testing::PutFileBytes(IniPath(), c.bytes);
    LoadRecentOpens(system);
    AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\notes.md"));
    EXPECT_TRUE(IniBytes().starts_with("\xEF\xBB\xBF"));
    EXPECT_EQ(testing::FileBytes(kept), c.unreadable ? c.bytes : "an older unreadable file");
    ClearRecentOpens(system);
  }
}

}  // namespace
}  // namespace qm
