// What only the Windows implementation of the configuration seams shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/text_file.h"
#include "platform/config_system.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

TEST(ConfigSystemWin32, DocumentsFolderIsAnAbsolutePath) {
  std::u16string folder;
  ASSERT_TRUE(SystemConfigSystem().DocumentsFolder(&folder));
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.substr(1, 2), u":\\");
  EXPECT_NE(folder.back(), u'\\');
}

TEST(ConfigSystemWin32, ReadOnlyTargetIsNotReplaced) {
  testing::TempFolder folder;
  ConfigSystem& system = SystemConfigSystem();
  const std::u16string path = folder.program() + u"\\hotkey.ini";
  testing::PutFileBytes(path, "old");
  std::filesystem::permissions(testing::FsPath(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(WriteTextFile(system, path, u"new\n"));
  EXPECT_EQ(testing::FileBytes(path), "old");
  EXPECT_FALSE(testing::FileExists(path + u".tmp"));
  std::filesystem::permissions(testing::FsPath(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

}  // namespace
}  // namespace qm
