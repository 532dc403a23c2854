#include "platform/drive_roots.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
TEST(DriveRootsTest, MappedDrivesNameFilesBelowTheirFolder) {
  SetDriveRoot(u"x:", "/tmp/folder-x");
  SetDriveRoot(u"Y:", "/srv/y/");
  EXPECT_EQ(NativeFilePath(u"X:\\docs\\a.txt"), fs::path("/tmp/folder-x/docs/a.txt"));
  EXPECT_EQ(NativeFilePath(u"x:\\a"), fs::path("/tmp/folder-x/a"));
  EXPECT_EQ(NativeFilePath(u"X:"), fs::path("/tmp/folder-x"));
  EXPECT_EQ(NativeFilePath(u"Y:\\b"), fs::path("/srv/y//b"));
  // An absolute-looking rest never replaces the root.
  EXPECT_EQ(NativeFilePath(u"X:/etc/passwd"), fs::path("/tmp/folder-x/etc/passwd"));
  // Unmapped drives keep their own path.
  EXPECT_EQ(NativeFilePath(u"C:\\Windows\\x"), fs::path("C:/Windows/x"));
  SetDriveRoot(u"X:", fs::path());
  EXPECT_EQ(NativeFilePath(u"X:\\a"), fs::path("X:/a"));
  ClearDriveRoots();
  EXPECT_EQ(NativeFilePath(u"Y:\\b"), fs::path("Y:/b"));
}
#endif

TEST(DriveRootsTest, DrivesWithoutFilesNameNothing) {
  SetDriveWithoutFiles(u"q:");
  EXPECT_TRUE(NativeFilePath(u"Q:\\Windows\\notepad.exe").empty());
  EXPECT_TRUE(NativeFilePath(u"q:").empty());
  EXPECT_FALSE(NativeFilePath(u"R:\\a").empty());
  // A folder given later replaces the mark, and removing it restores the system's path.
  SetDriveRoot(u"Q:", fs::temp_directory_path());
  EXPECT_EQ(NativeFilePath(u"Q:"), fs::temp_directory_path());
  SetDriveRoot(u"Q:", fs::path());
  EXPECT_FALSE(NativeFilePath(u"Q:\\a").empty());
  ClearDriveRoots();
}

}  // namespace
}  // namespace qm
