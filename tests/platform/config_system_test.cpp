// The machine's ConfigSystem (Win32 in the Windows build, POSIX natively) on a temporary folder.
#include "platform/config_system.h"

#include <gtest/gtest.h>

#include <string>

#include "support/config_fakes.h"

namespace qm {
namespace {

using testing::FileBytes;
using testing::FileExists;
using testing::PutFileBytes;

class SystemConfigFiles : public ::testing::Test {
 protected:
  testing::TempFolder folder;
  ConfigSystem& system = SystemConfigSystem();
  std::u16string a = folder.program() + u"\\a.ini";
  std::u16string b = folder.program() + u"\\b.ini";
};

TEST_F(SystemConfigFiles, ReadBytesWholeOrUpToTheLimit) {
  PutFileBytes(a, std::string("\xEF\xBB\xBF"
                              "0123456789\0x",
                              15));
  std::string bytes;
  ASSERT_TRUE(system.ReadBytes(a, 1000, &bytes));
  EXPECT_EQ(bytes, std::string("\xEF\xBB\xBF"
                               "0123456789\0x",
                               15));
  ASSERT_TRUE(system.ReadBytes(a, 5, &bytes));
  EXPECT_EQ(bytes,
            "\xEF\xBB\xBF"
            "01");
  EXPECT_FALSE(system.ReadBytes(b, 1000, &bytes));
  EXPECT_FALSE(system.ReadBytes(folder.program(), 1000, &bytes));
}

TEST_F(SystemConfigFiles, WriteBytesCreatesAndTruncates) {
  ASSERT_TRUE(system.WriteBytes(a, "a longer first version"));
  ASSERT_TRUE(system.WriteBytes(a, "short"));
  EXPECT_EQ(FileBytes(a), "short");
  EXPECT_FALSE(system.WriteBytes(folder.program() + u"\\no\\such.ini", "x"));
}

TEST_F(SystemConfigFiles, ReplaceAtomicallyOverwritesTheTarget) {
  PutFileBytes(a, "new");
  PutFileBytes(b, "old and longer");
  ASSERT_TRUE(system.ReplaceAtomically(a, b));
  EXPECT_EQ(FileBytes(b), "new");
  EXPECT_FALSE(FileExists(a));
  // Also when the target does not exist yet; a missing source fails and changes nothing.
  PutFileBytes(a, "again");
  std::u16string c = folder.program() + u"\\c.ini";
  ASSERT_TRUE(system.ReplaceAtomically(a, c));
  EXPECT_EQ(FileBytes(c), "again");
  EXPECT_FALSE(system.ReplaceAtomically(a, b));
  EXPECT_EQ(FileBytes(b), "new");
}

TEST_F(SystemConfigFiles, CopyOverAndRemove) {
  PutFileBytes(a, std::string("\xEF\xBB\xBFx\r\n\0", 7));
  PutFileBytes(b, "older, longer backup");
  ASSERT_TRUE(system.CopyOver(a, b));
  EXPECT_EQ(FileBytes(b), FileBytes(a));
  EXPECT_TRUE(FileExists(a));
  system.RemoveFile(b);
  EXPECT_FALSE(FileExists(b));
  system.RemoveFile(b);  // missing: nothing happens
  EXPECT_FALSE(system.CopyOver(b, a));
  EXPECT_EQ(FileBytes(a), std::string("\xEF\xBB\xBFx\r\n\0", 7));
}

TEST_F(SystemConfigFiles, MakeFolderToleratesAnExistingFolder) {
  const std::u16string sub = folder.program() + u"\\Quillmarsh";
  system.MakeFolder(sub);
  system.MakeFolder(sub);
  EXPECT_TRUE(std::filesystem::is_directory(testing::FsPath(sub)));
  system.MakeFolder(folder.program() + u"\\x\\y");  // parent missing: nothing, no failure
  EXPECT_FALSE(FileExists(folder.program() + u"\\x"));
}

}  // namespace
}  // namespace qm
