#include "app/stand_in_systems.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/fsuid.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

StandInOptions FolderOption(const fs::path& folder) {
  StandInOptions options;
  options.drives.push_back(DriveSource{'Y', true, folder.string()});
  return options;
}

TEST(StandInSystemsTest, AFolderRemovedAfterStartIsNamedAsGone) {
  testing::TempFolder temp;
  const fs::path folder = temp.path() / "vol";
  fs::create_directory(folder);
  std::ofstream(folder / "a.txt") << "x";
  StandInSetup setup;
  std::string error;
  ASSERT_EQ(PrepareStandIns(FolderOption(folder), &setup, &error), SetupFault::kNone) << error;
  ASSERT_EQ(setup.folders.size(), 1u);
  EXPECT_EQ(FolderFault(setup.folders), "");
  fs::remove_all(folder);
  EXPECT_EQ(FolderFault(setup.folders), folder.string() + ": the folder is gone");
  std::ofstream(folder) << "a file where the folder was";
  EXPECT_EQ(FolderFault(setup.folders), folder.string() + ": the folder is gone");
}

#ifndef _WIN32
TEST(StandInSystemsTest, AFolderTheUserCannotReadIsRefusedAtStart) {
  // The file-system user and group are per thread on Linux: this thread reads as an ordinary
  // user, for whom the permissions hold even when the tests run as root.
  testing::TempFolder temp;
  const fs::path folder = temp.path() / "vol";
  fs::create_directory(folder);
  std::ofstream(folder / "a.txt") << "x";
  fs::permissions(temp.path(), fs::perms::owner_all | fs::perms::others_exec);
  fs::permissions(folder, fs::perms::owner_all);
  SetupFault fault = SetupFault::kNone;
  std::string error;
  std::thread reader([&] {
    setfsgid(65534);
    setfsuid(65534);
    StandInSetup setup;
    fault = PrepareStandIns(FolderOption(folder), &setup, &error);
  });
  reader.join();
  EXPECT_EQ(fault, SetupFault::kDrive);
  EXPECT_EQ(error, folder.string() + ": the folder cannot be read");
}
#endif

}  // namespace
}  // namespace qm
