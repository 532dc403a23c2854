#include "search/search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "search/query.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::IndexedDrivesTest;
using testing::kRootFrn;
using testing::WaitForWorkers;
using Paths = std::vector<std::u16string>;

class SearchTest : public IndexedDrivesTest {
 protected:
  // C: \Docs\report.txt, \Docs\abc.txt, \Docs\Abcd.TXT, \Archive\abc.txt, \Archive\old.log
  void AddDriveC() {
    AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true},
                     {0x11, kRootFrn, u"Archive", true},
                     {0x12, 0x10, u"report.txt"},
                     {0x13, 0x10, u"abc.txt"},
                     {0x14, 0x10, u"Abcd.TXT"},
                     {0x15, 0x11, u"abc.txt"},
                     {0x16, 0x11, u"old.log"}});
  }
  // A drive holding the one file \match-<letter>.txt.
  void AddSmallDrive(char16_t letter) {
    AddDrive(std::u16string{letter, u':'},
             {{0x20, kRootFrn, std::u16string(u"match-") + letter + u".txt"}});
  }
  size_t SearchDone(uint64_t generation) { return poster.Count(WM_SEARCH_DONE, generation); }
};

TEST_F(SearchTest, NameMatchesComeInRecordOrderAndFoldAToZ) {
  AddDriveC();
  Ready();
  const uint64_t g = SearchAndWait(u"  ABC\t");
  EXPECT_EQ(PathsOf(Current()),
            (Paths{u"C:\\Docs\\abc.txt", u"C:\\Docs\\Abcd.TXT", u"C:\\Archive\\abc.txt"}));
  const auto messages = poster.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, g);
  EXPECT_EQ(messages[0].lParam, 0);
}

TEST_F(SearchTest, QueriesOfTypedPrefixesPublishOnlyTheNewest) {
  AddDriveC();
  Ready();
  uint64_t first = 0;
  {
    // The drive is busy (a journal batch): the workers of 'a' and 'ab' start and wait, and
    // meet their generation check only after 'abc' has been typed.
    std::unique_lock busy(Drive(0).lock);
    StartSearch(u"a", false, false);
    first = searchGeneration.load();
    StartSearch(u"ab", false, false);
    StartSearch(u"abc", false, false);
  }
  ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, first + 2));
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(SearchDone(first), 0u);
  EXPECT_EQ(SearchDone(first + 1), 0u);
  EXPECT_EQ(poster.Messages().size(), 1u);
  EXPECT_EQ(PathsOf(Current()),
            (Paths{u"C:\\Docs\\abc.txt", u"C:\\Docs\\Abcd.TXT", u"C:\\Archive\\abc.txt"}));
}

TEST_F(SearchTest, OvertakenBetweenDrivesStopsWithoutPublishing) {
  AddSmallDrive(u'C');
  AddSmallDrive(u'D');
  Ready();
  uint64_t first = 0;
  {
    // The first worker walks C: and then waits for D:, by which time it is stale.
    std::unique_lock busy(Drive(1).lock);
    StartSearch(u"match", false, false);
    first = searchGeneration.load();
    // Most often the worker has walked C: by now and waits for D:; either way it is
    // overtaken before it can publish.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    StartSearch(u"match-d", false, false);
  }
  ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, first + 1));
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(SearchDone(first), 0u);
  EXPECT_EQ(PathsOf(Current()), (Paths{u"D:\\match-D.txt"}));
}

TEST_F(SearchTest, ShutdownMidSearchPublishesNothing) {
  AddDriveC();
  Ready();
  {
    std::unique_lock busy(Drive(0).lock);
    StartSearch(u"abc", false, false);
    shuttingDown.store(true);
  }
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_TRUE(poster.Messages().empty());
  EXPECT_EQ(Current(), nullptr);
}

TEST_F(SearchTest, NothingBeforeTheIndexIsReadyOrAfterShutdown) {
  AddDriveC();
  RunSearch(std::make_unique<SearchRequest>(SearchRequest{u"abc", searchGeneration.load(), false}));
  Ready();
  shuttingDown.store(true);
  RunSearch(std::make_unique<SearchRequest>(SearchRequest{u"abc", searchGeneration.load(), false}));
  EXPECT_TRUE(poster.Messages().empty());
  EXPECT_EQ(Current(), nullptr);
}

TEST_F(SearchTest, SelectedDriveLimitsTheSearch) {
  AddSmallDrive(u'C');
  AddSmallDrive(u'D');
  AddSmallDrive(u'E');
  Ready();
  struct Case {
    int32_t selected;
    Paths expected;
  };
  const Case cases[] = {
      {0, {u"C:\\match-C.txt", u"D:\\match-D.txt", u"E:\\match-E.txt"}},
      {2, {u"D:\\match-D.txt"}},
      {3, {u"E:\\match-E.txt"}},
      {4, {}},  // a position beyond the list names no drive
      {-7, {u"C:\\match-C.txt", u"D:\\match-D.txt", u"E:\\match-E.txt"}},
      {std::numeric_limits<int32_t>::min(),
       {u"C:\\match-C.txt", u"D:\\match-D.txt", u"E:\\match-E.txt"}},
  };
  for (const Case& c : cases) {
    selectedDrive.store(c.selected);
    SearchAndWait(u"match");
    EXPECT_EQ(PathsOf(Current()), c.expected) << "selectedDrive " << c.selected;
  }
}

TEST_F(SearchTest, DeletedRecordsAreNeverInANewResult) {
  AddDriveC();
  Ready();
  SearchAndWait(u"abc");
  const ResultList before = Current();
  DeleteFile(0, 0x13, 0x10, u"abc.txt");
  WaitForMonitors();
  // The published list is not changed in place.
  EXPECT_EQ(PathsOf(before).size(), 3u);
  SearchAndWait(u"abc");
  EXPECT_EQ(PathsOf(Current()), (Paths{u"C:\\Docs\\Abcd.TXT", u"C:\\Archive\\abc.txt"}));
  for (const MatchItem& item : *Current()) {
    std::shared_lock guard(item.volume->lock);
    EXPECT_FALSE(item.volume->records[item.recordIndex].deleted);
  }
}

TEST_F(SearchTest, KeepSortKeepsTheSortColumn) {
  AddDriveC();
  Ready();
  struct Case {
    std::u16string query;
    bool keepSort;
    bool showRecent;
    int32_t expected;
  };
  const Case cases[] = {
      {u"abc", true, false, 3}, {u"abc", false, false, -1}, {u"", true, true, 3},
      {u"", false, true, -1},   {u"  ", false, false, -1},
  };
  for (const Case& c : cases) {
    sortColumn.store(3);
    sortAscending.store(false);
    StartSearch(c.query, c.keepSort, c.showRecent);
    ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, searchGeneration.load()));
    EXPECT_EQ(sortColumn.load(), c.expected) << "keepSort " << c.keepSort;
    EXPECT_FALSE(sortAscending.load());
  }
  // The kept sort column does not sort the new list: it comes in record order.
  sortColumn.store(2);
  StartSearch(u"abc", true, false);
  ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, searchGeneration.load()));
  EXPECT_EQ(PathsOf(Current()),
            (Paths{u"C:\\Docs\\abc.txt", u"C:\\Docs\\Abcd.TXT", u"C:\\Archive\\abc.txt"}));
}

TEST_F(SearchTest, EmptyOrBlankQueryShowsTheRecentListAtOnce) {
  AddDriveC();
  Ready();
  for (std::u16string query : {u"", u" \t\r\n"}) {
    StartSearch(query, false, false);
    // Published on this thread before StartSearch returns.
    const auto messages = poster.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().message, WM_SEARCH_DONE);
    EXPECT_EQ(messages.back().wParam, searchGeneration.load());
    ASSERT_NE(Current(), nullptr);
    EXPECT_TRUE(Current()->empty());
  }
  // showRecent wins over a non-empty query.
  StartSearch(u"abc", false, true);
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, searchGeneration.load()), 1u);
  EXPECT_TRUE(Current()->empty());
}

TEST_F(SearchTest, ClearingTheBoxOvertakesARunningSearch) {
  AddDriveC();
  Ready();
  {
    std::unique_lock busy(Drive(0).lock);
    StartSearch(u"abc", false, false);
    // The box is cleared while the worker waits: the recent list is published at once.
    StartSearch(u"", false, true);
  }
  ASSERT_TRUE(WaitForWorkers());
  ASSERT_NE(Current(), nullptr);
  EXPECT_TRUE(Current()->empty()) << "an overtaken search replaced the newer recent list";
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, searchGeneration.load() - 1), 0u);
}

TEST_F(SearchTest, ContentQueryDoesNotRunTheNamePass) {
  AddDrive(u"C:", {{0x12, kRootFrn, u"s:zz|md"}});
  Ready();
  SearchAndWait(u"s:zz|md");
  ASSERT_NE(Current(), nullptr);
  EXPECT_TRUE(Current()->empty()) << "no file C:\\s:zz|md can be read on this machine";
  SearchAndWait(u"S:zz|md");  // "S:" is not a content query
  EXPECT_EQ(PathsOf(Current()), (Paths{u"C:\\s:zz|md"}));
}

TEST_F(SearchTest, FindRecordByPathComparesNormalizedPaths) {
  AddDrive(u"C:", {{0x10, kRootFrn, u"Users", true},
                   {0x11, 0x10, u"me", true},
                   {0x12, 0x11, u"a.txt"},
                   {0x13, 0x10, u"a.txt"},
                   {0x14, kRootFrn, u"Other", true},
                   {0x15, 0x14, u"me", true},
                   {0x16, 0x15, u"a.txt"}});
  AddDrive(u"D:", {{0x12, kRootFrn, u"a.txt"}});
  Ready();
  struct Case {
    std::u16string path;
    int drive;  // -1: not found
    std::u16string expected;
  };
  const Case cases[] = {
      {u"C:/Users/Me/a.TXT", 0, u"C:\\Users\\me\\a.txt"},
      {u"c:\\OTHER\\ME\\A.txt", 0, u"C:\\Other\\me\\a.txt"},
      {u"C:\\Users\\a.txt", 0, u"C:\\Users\\a.txt"},
      {u"d:/A.TXT", 1, u"D:\\a.txt"},
      {u"C:\\Users\\me\\b.txt", -1, u""},
      {u"E:\\a.txt", -1, u""},
      {u"C:", -1, u""},
      {u"C:\\", -1, u""},
      {u"", -1, u""},
      {u"a.txt", -1, u""},
  };
  for (const Case& c : cases) {
    MatchItem found;
    const bool ok = FindRecordByPath(c.path, &found);
    EXPECT_EQ(ok, c.drive >= 0) << std::string(c.path.begin(), c.path.end());
    if (ok && c.drive >= 0) {
      EXPECT_EQ(found.volume, &Drive(size_t(c.drive)));
      EXPECT_EQ(BuildPath(*found.volume, found.recordIndex), c.expected);
    }
  }
}

TEST_F(SearchTest, FindRecordByPathSkipsDeletedRecords) {
  AddDriveC();
  Ready();
  MatchItem before;
  ASSERT_TRUE(FindRecordByPath(u"C:\\Docs\\report.txt", &before));
  DeleteFile(0, 0x12, 0x10, u"report.txt");
  WaitForMonitors();
  MatchItem after;
  EXPECT_FALSE(FindRecordByPath(u"C:\\Docs\\report.txt", &after));
  CreateFile(0, 0x30, 0x10, u"report.txt");
  WaitForMonitors();
  ASSERT_TRUE(FindRecordByPath(u"C:\\Docs\\report.txt", &after));
  EXPECT_NE(after.recordIndex, before.recordIndex);
}

TEST_F(SearchTest, ParentItemGivesTheLiveParentDirectory) {
  AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true},
                   {0x12, 0x10, u"report.txt"},
                   {0x13, 0x99, u"orphan.txt"},
                   {0x14, 0x11, u"inside.txt"},
                   {0x11, kRootFrn, u"Gone", true}});
  Ready();
  MatchItem parent;
  ASSERT_TRUE(ParentItem(ItemOf(0, u"C:\\Docs\\report.txt"), &parent));
  EXPECT_EQ(parent.volume, &Drive(0));
  EXPECT_EQ(BuildPath(Drive(0), parent.recordIndex), u"C:\\Docs");

  // The parent is not indexed.
  MatchItem orphan{&Drive(0), uint32_t(RecordOf(0, u"C:\\orphan.txt"))};
  ASSERT_GE(RecordOf(0, u"C:\\orphan.txt"), 0);
  EXPECT_FALSE(ParentItem(orphan, &parent));

  // The parent was deleted.
  const MatchItem inside = ItemOf(0, u"C:\\Gone\\inside.txt");
  testing::IndexedDrivesTest::Journal(0, testing::kReasonDelete | testing::kReasonClose, 0x11,
                                      kRootFrn, u"Gone", true);
  WaitForMonitors();
  EXPECT_FALSE(ParentItem(inside, &parent));

  // Out of range, or no drive.
  EXPECT_FALSE(ParentItem(MatchItem{&Drive(0), 1000000}, &parent));
  EXPECT_FALSE(ParentItem(MatchItem{}, &parent));
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST_F(SearchTest, NamePassAgreesWithNameMatches) {
  const std::u16string names[] = {u"abc", u"xabc", u"abcx", u"ab",     u"aaab",      u"AAB.txt",
                                  u"b",   u"ÄäAa", u"äa",   u"x.y.z",  u"ZZZZZZZZZ", u"zz z",
                                  u"a a", u"aab",  u"baab", u"abab.a", u"Ωmega",     u"ωmega"};
  std::vector<testing::TestEntry> entries;
  uint64_t frn = 0x100;
  for (const std::u16string& name : names) entries.push_back({frn++, kRootFrn, name});
  AddDrive(u"C:", entries);
  Ready();
  const std::u16string queries[] = {u"a",   u"AAB", u"aab", u"abc", u"b",     u"z",  u"zz",
                                    u"z z", u"ä",   u"Ä",   u".",   u"x.y.z", u"ωm", u"abcxy"};
  for (const std::u16string& query : queries) {
    SearchAndWait(query);
    std::vector<uint32_t> expected;
    {
      std::shared_lock guard(Drive(0).lock);
      for (uint64_t i = 0; i < RecordCount(Drive(0)); ++i) {
        if (NameMatches(Drive(0).names, Drive(0).records[i], FoldCase(query)))
          expected.push_back(uint32_t(i));
      }
    }
    std::vector<uint32_t> found;
    for (const MatchItem& item : *Current()) found.push_back(item.recordIndex);
    EXPECT_EQ(found, expected) << std::string(query.begin(), query.end());
  }
}

}  // namespace
}  // namespace qm
