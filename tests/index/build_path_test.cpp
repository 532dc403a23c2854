#include "index/build_path.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scripted_volume.h"
#include "support/store_builder.h"

namespace qm {
namespace {

using testing::AddTestRecord;

constexpr uint64_t kRoot = 5;

class BuildPathTest : public ::testing::Test {
 protected:
  BuildPathTest() : index(device) {
    index.drive = u"C:";
    AddTestRecord(index, kRoot, kRoot, u".", true);
  }
  testing::ScriptedVolume device;
  VolumeIndex index;
};

TEST_F(BuildPathTest, JoinsTheChainFromTheTopDown) {
  AddTestRecord(index, 10, kRoot, u"Windows", true);
  AddTestRecord(index, 11, 10, u"System32", true);
  uint64_t file = AddTestRecord(index, 12, 11, u"notepad.exe");
  uint64_t top = AddTestRecord(index, 13, kRoot, u"name");
  EXPECT_EQ(BuildPath(index, file), u"C:\\Windows\\System32\\notepad.exe");
  EXPECT_EQ(BuildPath(index, top), u"C:\\name");
}

TEST_F(BuildPathTest, MissingParentStartsAtTheHighestKnownAncestor) {
  uint64_t orphan = AddTestRecord(index, 20, 999, u"lost.txt");
  AddTestRecord(index, 21, 998, u"dir", true);
  uint64_t child = AddTestRecord(index, 22, 21, u"in.txt");
  EXPECT_EQ(BuildPath(index, orphan), u"C:\\lost.txt");
  EXPECT_EQ(BuildPath(index, child), u"C:\\dir\\in.txt");
}

TEST_F(BuildPathTest, IndexOutOfRangeGivesTheDriveAlone) {
  EXPECT_EQ(BuildPath(index, RecordCount(index)), u"C:");
  EXPECT_EQ(BuildPath(index, ~uint64_t(0)), u"C:");
}

TEST_F(BuildPathTest, KeepsTheLowestHundredAncestorsOf150Levels) {
  uint64_t parent = kRoot;
  for (int level = 1; level <= 150; ++level) {
    std::u16string name = u"d";
    for (char c : std::to_string(level)) name += char16_t(c);
    AddTestRecord(index, 1000 + level, parent, name, true);
    parent = 1000 + level;
  }
  uint64_t file = AddTestRecord(index, 5000, parent, u"deep.txt");
  std::u16string expected = u"C:";
  for (int level = 51; level <= 150; ++level) {
    expected += u"\\d";
    for (char c : std::to_string(level)) expected += char16_t(c);
  }
  expected += u"\\deep.txt";
  EXPECT_EQ(BuildPath(index, file), expected);
}

TEST_F(BuildPathTest, ParentLoopEndsAfterAHundredAncestors) {
  AddTestRecord(index, 30, 31, u"a", true);
  AddTestRecord(index, 31, 30, u"b", true);
  uint64_t file = AddTestRecord(index, 32, 30, u"f");
  std::u16string path = BuildPath(index, file);
  // f, then a, b, a, b ... : 100 ancestors, the topmost of which is b.
  std::u16string expected = u"C:";
  for (int i = 0; i < 50; ++i) expected += u"\\b\\a";
  expected += u"\\f";
  EXPECT_EQ(path, expected);
}

TEST_F(BuildPathTest, RenamedDirectoryShowsInItsChildrensPaths) {
  uint64_t old = AddTestRecord(index, 40, kRoot, u"Old", true);
  uint64_t child = AddTestRecord(index, 41, 40, u"file.txt");
  index.records[old].deleted = 1;
  AddTestRecord(index, 40, kRoot, u"New", true);
  EXPECT_EQ(BuildPath(index, child), u"C:\\New\\file.txt");
  EXPECT_EQ(BuildPath(index, old), u"C:\\Old") << "deleted records still give their names";
}

TEST(NormalizePath, TurnsSlashesAndFoldsAToZ) {
  EXPECT_EQ(NormalizePath(u"C:/Temp/ABC"), u"c:\\temp\\abc");
  EXPECT_EQ(NormalizePath(u"D:\\\u00C9T\u00C9/x"), u"d:\\\u00C9t\u00C9\\x");
  EXPECT_EQ(NormalizePath(u""), u"");
}

}  // namespace
}  // namespace qm
