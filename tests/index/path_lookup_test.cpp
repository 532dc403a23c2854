#include "index/path_lookup.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <shared_mutex>
#include <string>
#include <vector>

#include "index/build_path.h"
#include "search/search.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::kRootFrn;
using testing::TestEntry;

// What a scan of the whole drive finds for each normalized path: the first live record, in
// record order, whose normalized full path it is.
std::map<std::u16string, int64_t> ScannedRecords(const VolumeIndex& drive) {
  std::vector<uint32_t> live;
  {
    std::shared_lock guard(drive.lock);
    for (uint64_t i = 0; i < RecordCount(drive); ++i) {
      if (!drive.records[i].deleted) live.push_back(uint32_t(i));
    }
  }
  std::map<std::u16string, int64_t> first;
  for (uint32_t i : live) first.emplace(NormalizePath(BuildPath(drive, i)), i);
  return first;
}

int64_t ScannedRecord(const std::map<std::u16string, int64_t>& scanned, std::u16string_view path) {
  auto found = scanned.find(NormalizePath(std::u16string(path)));
  return found == scanned.end() ? -1 : found->second;
}

int64_t WalkedRecord(std::u16string_view path) {
  MatchItem found;
  return FindRecordByPath(path, &found) ? int64_t(found.recordIndex) : -1;
}

// Upper-cases every second letter and turns some backslashes into slashes.
std::u16string Disguised(std::u16string path, std::mt19937& random) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] >= u'a' && path[i] <= u'z' && random() % 2) path[i] = char16_t(path[i] - 32);
    if (path[i] == u'\\' && i > 2 && random() % 3 == 0) path[i] = u'/';
  }
  return path;
}

class PathLookupTest : public testing::IndexedDrivesTest {
 protected:
  // A drive of folders and files with repeated names, names that differ only by case in one
  // folder, and one chain deeper than a path can name.
  std::vector<TestEntry> RandomTree(std::mt19937& random) {
    static const char16_t* kNames[] = {u"docs", u"Docs", u"src",   u"index.js", u"README.md",
                                       u"a",    u"A",    u"b.txt", u"Ünïcode",  u"x y"};
    std::vector<TestEntry> entries;
    std::vector<uint64_t> folders = {kRootFrn};
    uint64_t frn = 0x100;
    for (int i = 0; i < 600; ++i) {
      const uint64_t parent = folders[random() % folders.size()];
      const bool directory = random() % 3 == 0;
      entries.push_back({frn, parent, kNames[random() % std::size(kNames)], directory});
      if (directory) folders.push_back(frn);
      ++frn;
    }
    uint64_t parent = kRootFrn;
    for (int depth = 0; depth < kMaxPathDepth + 20; ++depth, ++frn) {
      entries.push_back({frn, parent, u"deep", true});
      parent = frn;
    }
    entries.push_back({frn, parent, u"bottom.txt"});
    return entries;
  }

  // Every record's path, disguised and not, and paths that name nothing, are found exactly
  // as a scan of the drive finds them.
  void ExpectSameAsScan(std::mt19937& random) {
    const VolumeIndex& drive = Drive(0);
    const std::map<std::u16string, int64_t> scanned = ScannedRecords(drive);
    uint64_t count = 0;
    {
      std::shared_lock guard(drive.lock);
      count = RecordCount(drive);
    }
    for (uint32_t i = 0; i < count; ++i) {
      const std::u16string path = BuildPath(drive, i);
      for (const std::u16string& probe :
           {path, Disguised(path, random), path + u"x", path + u"\\", path + u"\\gone"}) {
        ASSERT_EQ(WalkedRecord(probe), ScannedRecord(scanned, probe))
            << std::string(probe.begin(), probe.end());
      }
    }
  }
};

TEST_F(PathLookupTest, FindsWhatAScanFindsBeforeAndAfterJournalChanges) {
  std::mt19937 random(12345);
  const std::vector<TestEntry> entries = RandomTree(random);
  AddDrive(u"C:", entries);
  Ready();
  ExpectSameAsScan(random);

  // Renames (folders too, so whole subtrees get new paths), moves, deletions and creations.
  uint64_t frn = 0x10000;
  for (int i = 0; i < 120; ++i) {
    const TestEntry& e = entries[random() % 600];
    switch (random() % 4) {
      case 0:
        Journal(0, testing::kReasonOldName, e.frn, e.parentFrn, e.name, e.directory);
        Journal(0, testing::kReasonNewName | testing::kReasonClose, e.frn, e.parentFrn,
                e.name + u"2", e.directory);
        break;
      case 1:
        Journal(0, testing::kReasonNewName | testing::kReasonClose, e.frn, kRootFrn, e.name,
                e.directory);
        break;
      case 2:
        DeleteFile(0, e.frn, e.parentFrn, e.name);
        break;
      default:
        CreateFile(0, frn++, e.directory ? e.frn : kRootFrn, u"new.txt");
        break;
    }
  }
  WaitForMonitors();
  ExpectSameAsScan(random);
}

TEST_F(PathLookupTest, RootAndMalformedPaths) {
  AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true}, {0x11, 0x10, u"a.txt"}});
  AddDrive(u"D:", {{0x10, kRootFrn, u"Docs", true}});
  Ready();
  // The root is named "." under itself, as BuildPath shows it.
  EXPECT_EQ(WalkedRecord(u"c:\\."), ScannedRecord(ScannedRecords(Drive(0)), u"C:\\."));
  EXPECT_GE(WalkedRecord(u"C:\\."), 0);
  MatchItem found;
  EXPECT_TRUE(FindRecordByPath(u"d:/DOCS", &found));
  EXPECT_EQ(found.volume, &Drive(1));
  for (std::u16string_view path : {u"", u"C:", u"C:\\", u"C:Docs", u"C:\\\\Docs", u"E:\\Docs",
                                   u"C:\\Docs\\\\a.txt", u"C:\\Docs\\a.txt\\"}) {
    EXPECT_FALSE(FindRecordByPath(path, &found)) << std::string(path.begin(), path.end());
  }
}

}  // namespace
}  // namespace qm
