#include "config/config_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/config_fakes.h"

namespace qm {
namespace {

using testing::FsPath;

TEST(ConfigDir, FirstRunCreatesTheApplicationFolderAndItsConfigFolder) {
  testing::TempFolder documents;
  testing::TestConfigSystem system(documents.program());
  const std::u16string expected = documents.program() + u"\\Quillmarsh\\config";
  EXPECT_EQ(ConfigDir(system), expected);
  EXPECT_EQ(system.madeFolders,
            (std::vector<std::u16string>{documents.program() + u"\\Quillmarsh", expected}));
  EXPECT_TRUE(std::filesystem::is_directory(FsPath(expected)));
  // No file exists yet.
  EXPECT_TRUE(std::filesystem::is_empty(FsPath(expected)));
}

TEST(ConfigDir, EveryPathFormsAndCreatesTheFolderAgain) {
  testing::TempFolder documents;
  testing::TestConfigSystem system(documents.program());
  const std::u16string config = documents.program() + u"\\Quillmarsh\\config";
  EXPECT_EQ(FiltersIniPath(system), config + u"\\filters.ini");
  EXPECT_EQ(FiltersBakPath(system), config + u"\\filters.bak");
  EXPECT_EQ(RecentIniPath(system), config + u"\\recent.ini");
  EXPECT_EQ(HotkeyIniPath(system), config + u"\\hotkey.ini");
  EXPECT_EQ(system.madeFolders.size(), 8u);
  // A folder removed while the program runs comes back with the next path.
  std::filesystem::remove_all(FsPath(documents.program() + u"\\Quillmarsh"));
  HotkeyIniPath(system);
  EXPECT_TRUE(std::filesystem::is_directory(FsPath(config)));
}

TEST(ConfigDir, WithoutDocumentsFolderFallsBackToDotConfigAndCreatesNothing) {
  testing::TestConfigSystem system(std::nullopt);
  EXPECT_EQ(ConfigDir(system), u".\\config");
  EXPECT_EQ(RecentIniPath(system), u".\\config\\recent.ini");
  EXPECT_TRUE(system.madeFolders.empty());
}

}  // namespace
}  // namespace qm
