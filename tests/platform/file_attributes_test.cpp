#include "platform/file_attributes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/drive_roots.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(FileAttributesTest, SizeTimesAndDirectoryFlagOfRealEntries) {
  testing::TempFolder temp{u"qm-attributes"};
  const fs::path& folder = temp.path();
  fs::create_directories(folder / "sub");
  {
    std::ofstream file(folder / "five.bin", std::ios::binary);
    file << "12345";
  }
  const auto written = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  fs::last_write_time(folder / "five.bin", written);
  SetDriveRoot(u"K:", folder);

  FileAttributeData data;
  ASSERT_TRUE(SystemFileAttributes().QueryAttributes(u"K:\\five.bin", &data));
  EXPECT_EQ(data.fileSizeLow, 5u);
  EXPECT_EQ(data.fileSizeHigh, 0u);
  EXPECT_EQ(data.attributes & 0x10, 0u);
  EXPECT_NE(data.creationTime, 0u);
  // Unix time of the write, from the file time.
  const int64_t writeSeconds = int64_t(data.lastWriteTime / 10000000) - 11644473600;
  const int64_t expected = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::file_clock::to_sys(written).time_since_epoch())
                               .count();
  EXPECT_NEAR(double(writeSeconds), double(expected), 1.0);

  FileAttributeData directory;
  ASSERT_TRUE(SystemFileAttributes().QueryAttributes(u"K:\\sub", &directory));
  EXPECT_EQ(directory.attributes & 0x10, 0x10u);
  EXPECT_EQ(directory.fileSizeLow, 0u);

  FileAttributeData untouched;
  untouched.fileSizeLow = 9;
  EXPECT_FALSE(SystemFileAttributes().QueryAttributes(u"K:\\missing", &untouched));
  EXPECT_EQ(untouched.fileSizeLow, 9u);

  ClearDriveRoots();
}

}  // namespace
}  // namespace qm
