#include "search/sort.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "folder_drive.h"
#include "search/properties.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::CountingAttributes;
using testing::FolderDriveTest;
using Paths = std::vector<std::u16string>;
namespace fs = std::filesystem;

class SortTest : public FolderDriveTest {
 protected:
  // C:\b (3 bytes), \A (1), \a0\a (2), \_x (10), and the directories \a0, \dir.
  VolumeIndex& MakeDrive() {
    Write('C', "b", "bbb");
    Write('C', "A", "A");
    Write('C', "a0/a", "aa");
    Write('C', "_x", "xxxxxxxxxx");
    MakeDir('C', "dir");
    VolumeIndex& c = Index('C');
    const auto now = fs::file_time_type::clock::now();
    const char* byAge[] = {"_x", "a0/a", "b", "A"};  // oldest first
    for (int i = 0; i < 4; ++i) {
      fs::last_write_time(Folder('C') / byAge[i], now - std::chrono::hours(10 - i));
    }
    return c;
  }
  MatchList All(VolumeIndex& c) {
    MatchList items;
    for (const char16_t* path :
         {u"C:\\b", u"C:\\dir", u"C:\\A", u"C:\\a0\\a", u"C:\\_x", u"C:\\a0"})
      items.push_back(ItemOf(c, path));
    return items;
  }

  // Runs a sort of the published list in this thread; returns the published paths.
  Paths Sort(uint32_t column, bool ascending) {
    SortRequest request;
    request.generation = searchGeneration.fetch_add(1) + 1;
    request.column = column;
    request.ascending = ascending;
    RunSort(request);
    const auto messages = poster.Messages();
    EXPECT_FALSE(messages.empty());
    if (!messages.empty()) {
      EXPECT_EQ(messages.back().message, WM_SEARCH_DONE);
      EXPECT_EQ(messages.back().wParam, request.generation);
      EXPECT_EQ(messages.back().lParam, 1) << "same results, new order";
    }
    const ResultList sorted = Current();
    // Every neighbouring pair is in an order the comparison allows.
    for (size_t i = 1; i < sorted->size(); ++i) {
      EXPECT_FALSE(CompareItems((*sorted)[i], (*sorted)[i - 1], column, ascending)) << i;
    }
    return PathsOf(*sorted);
  }
};

// 'A' and 'a' compare equal by name: either order.
bool NameOrderAllowed(const Paths& paths, bool ascending) {
  Paths names;
  for (const std::u16string& path : paths) names.push_back(path.substr(path.rfind(u'\\') + 1));
  Paths expected = {u"_x", u"a", u"A", u"a0", u"b", u"dir"};
  if (!ascending) std::reverse(expected.begin(), expected.end());
  if (names == expected) return true;
  std::swap(expected[ascending ? 1 : 3], expected[ascending ? 2 : 4]);
  return names == expected;
}

TEST_F(SortTest, NamesFoldAToZAndPutTheUnderscoreFirst) {
  VolumeIndex& c = MakeDrive();
  Publish(All(c));
  Paths ascending = Sort(kColumnName, true);
  EXPECT_TRUE(NameOrderAllowed(ascending, true)) << ::testing::PrintToString(ascending);
  Paths descending = Sort(kColumnName, false);
  EXPECT_TRUE(NameOrderAllowed(descending, false));
}

TEST_F(SortTest, SizesPutDirectoriesFirstThenLast) {
  VolumeIndex& c = MakeDrive();
  Publish(All(c));
  const Paths ascending = Sort(kColumnSize, true);
  ASSERT_EQ(ascending.size(), 6u);
  const Paths directories(ascending.begin(), ascending.begin() + 2);
  EXPECT_TRUE(directories == (Paths{u"C:\\dir", u"C:\\a0"}) ||
              directories == (Paths{u"C:\\a0", u"C:\\dir"}));
  EXPECT_EQ(Paths(ascending.begin() + 2, ascending.end()),
            (Paths{u"C:\\A", u"C:\\a0\\a", u"C:\\b", u"C:\\_x"}));

  const Paths descending = Sort(kColumnSize, false);
  EXPECT_EQ(Paths(descending.begin(), descending.begin() + 4),
            (Paths{u"C:\\_x", u"C:\\b", u"C:\\a0\\a", u"C:\\A"}))
      << "the largest file first, the directories last";
}

TEST_F(SortTest, PathsAndTimes) {
  VolumeIndex& c = MakeDrive();
  Publish(All(c));
  EXPECT_EQ(Sort(kColumnPath, true),
            (Paths{u"C:\\_x", u"C:\\A", u"C:\\a0", u"C:\\a0\\a", u"C:\\b", u"C:\\dir"}));
  const Paths modified = Sort(kColumnModified, true);
  // The four files have the oldest times; the directories changed when the files were made.
  EXPECT_EQ(Paths(modified.begin(), modified.begin() + 4),
            (Paths{u"C:\\_x", u"C:\\a0\\a", u"C:\\b", u"C:\\A"}));
  const Paths newest = Sort(kColumnModified, false);
  EXPECT_EQ(Paths(newest.end() - 4, newest.end()),
            (Paths{u"C:\\A", u"C:\\b", u"C:\\a0\\a", u"C:\\_x"}));
  const Paths created = Sort(kColumnCreated, true);
  EXPECT_EQ(created.size(), 6u);
}

TEST_F(SortTest, AnEmptyOrStaleSortPublishesNothing) {
  VolumeIndex& c = MakeDrive();
  SortRequest request{searchGeneration.fetch_add(1) + 1, kColumnName, true};
  RunSort(request);  // nothing published yet
  Publish({});
  request.generation = searchGeneration.fetch_add(1) + 1;
  RunSort(request);
  EXPECT_TRUE(poster.Messages().empty());

  Publish(All(c));
  const ResultList before = Current();
  request.generation = searchGeneration.fetch_add(1) + 1;
  searchGeneration.fetch_add(1);  // a search started after the click
  RunSort(request);
  EXPECT_EQ(Current(), before);
  EXPECT_TRUE(poster.Messages().empty());
}

TEST_F(SortTest, ShutdownOrANewSearchDuringTheExtractionStopsTheSort) {
  VolumeIndex& c = MakeDrive();
  for (bool shutdown : {true, false}) {
    Publish(All(c));
    const ResultList before = Current();
    {
      std::unique_lock guard(c.propertiesLock);
      c.properties.clear();
    }
    CountingAttributes counting;
    counting.onQuery = [shutdown](uint64_t call) {
      if (call != 2) return;
      if (shutdown) {
        shuttingDown.store(true);
      } else {
        searchGeneration.fetch_add(1);
      }
    };
    fileAttributesOverride.store(&counting);
    SortRequest request{searchGeneration.fetch_add(1) + 1, kColumnSize, true};
    RunSort(request);
    fileAttributesOverride.store(nullptr);
    shuttingDown.store(false);
    EXPECT_EQ(Current(), before) << "nothing published";
    EXPECT_TRUE(poster.Messages().empty()) << "nothing posted";
    EXPECT_LE(counting.calls.load(), 4u) << "each thread stops before its next entry";
  }
}

// Waits for the sort worker a click started.
bool WaitForMessages(const testing::RecordingPoster& poster, size_t count) {
  for (int i = 0; i < 1000; ++i) {
    if (poster.Messages().size() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST_F(SortTest, ClicksFlipTheDirectionOfTheSameColumn) {
  VolumeIndex& c = MakeDrive();
  Publish(All(c));
  sortColumn.store(-1);
  sortAscending.store(true);

  const uint64_t before = searchGeneration.load();
  EXPECT_FALSE(RequestSort(kColumnNumber));
  EXPECT_FALSE(RequestSort(6));
  EXPECT_EQ(searchGeneration.load(), before) << "'#' starts nothing";
  EXPECT_EQ(sortColumn.load(), -1);

  struct Click {
    int32_t column;
    bool ascending;
  };
  const Click clicks[] = {{kColumnName, true},
                          {kColumnName, false},
                          {kColumnName, true},
                          {kColumnSize, true},
                          {kColumnSize, false}};
  size_t expected = 0;
  for (const Click& click : clicks) {
    ASSERT_TRUE(RequestSort(click.column));
    EXPECT_EQ(sortColumn.load(), click.column);
    EXPECT_EQ(sortAscending.load(), click.ascending);
    ASSERT_TRUE(WaitForMessages(poster, ++expected));
    EXPECT_EQ(poster.Messages().back().wParam, searchGeneration.load());
  }
  const Paths last = PathsOf(*Current());
  EXPECT_EQ(last.front(), u"C:\\_x");
  sortColumn.store(-1);
  sortAscending.store(true);
}

// The sorted orders agree with CompareItems, which builds every path whole, on drives with
// what path building must get right: deep chains past the path limit, a cycle, a missing
// parent, units above 0xFF, names that are prefixes of others, and two drives.
class SortOrderTest : public testing::IndexedDrivesTest {};

TEST_F(SortOrderTest, NameAndPathOrdersAgreeWithTheComparison) {
  using testing::kRootFrn;
  using testing::TestEntry;
  std::mt19937 random(9);
  const std::u16string pieces[] = {u"a",      u"A",      u"b", u"_", u"\u00FF",
                                   u"\u0100", u"\u4E2D", u"z", u"."};
  auto randomName = [&] {
    std::u16string name;
    for (int n = 1 + int(random() % 4); n > 0; --n) name += pieces[random() % 9];
    return name;
  };
  for (char16_t letter : {u'C', u'D'}) {
    std::vector<TestEntry> entries;
    std::vector<uint64_t> directories = {kRootFrn};
    uint64_t frn = 0x100;
    for (int i = 0; i < 3000; ++i) {
      const bool directory = random() % 4 == 0;
      entries.push_back({frn, directories[random() % directories.size()], randomName(), directory});
      if (directory) directories.push_back(frn);
      ++frn;
    }
    // A chain deeper than the path limit, files at several depths of it.
    uint64_t parent = kRootFrn;
    for (int depth = 0; depth < kMaxPathDepth + 8; ++depth) {
      // Each level named apart, so that where a path is cut shows in the order.
      const std::string level = "d" + std::to_string(depth * 37 % 101);
      entries.push_back({frn, parent, std::u16string(level.begin(), level.end()), true});
      entries.push_back({frn + 1, frn, randomName()});
      parent = frn;
      frn += 2;
    }
    // Two directories that are each other's parent, a file in one; a file whose parent is gone.
    entries.push_back({frn, frn + 1, u"loop1", true});
    entries.push_back({frn + 1, frn, u"loop2", true});
    entries.push_back({frn + 2, frn, u"inloop"});
    entries.push_back({frn + 3, 0x7777777, u"orphan"});
    AddDrive(std::u16string{letter, u':'}, entries);
  }
  Ready();
  auto all = std::make_shared<MatchList>();
  for (size_t d = 0; d < 2; ++d) {
    VolumeIndex& drive = Drive(d);
    for (uint32_t i = 0; i < RecordCount(drive); ++i) all->push_back({&drive, i});
  }
  ASSERT_EQ(all->size(), 2 * (1 + 3000 + 2 * (kMaxPathDepth + 8) + 4)) << "every entry indexed";
  std::shuffle(all->begin(), all->end(), random);

  for (uint32_t column : {uint32_t(kColumnName), uint32_t(kColumnPath)}) {
    for (bool ascending : {true, false}) {
      {
        std::lock_guard guard(resultsMutex);
        currentResults = all;
      }
      SortRequest request;
      request.generation = searchGeneration.fetch_add(1) + 1;
      request.column = column;
      request.ascending = ascending;
      RunSort(request);
      const ResultList sorted = Current();
      ASSERT_EQ(sorted->size(), all->size());
      for (size_t i = 1; i < sorted->size(); ++i) {
        ASSERT_FALSE(CompareItems((*sorted)[i], (*sorted)[i - 1], column, ascending))
            << "column " << column << (ascending ? " ascending" : " descending") << ", entry " << i;
      }
      std::set<std::pair<const VolumeIndex*, uint32_t>> seen;
      for (const MatchItem& item : *sorted) seen.insert({item.volume, item.recordIndex});
      EXPECT_EQ(seen.size(), all->size()) << "every entry once";
    }
  }
}

}  // namespace
}  // namespace qm
