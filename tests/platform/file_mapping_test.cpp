#include "platform/file_mapping.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/drive_roots.h"
#include "platform/file_attributes.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FileMappingTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDriveRoot(u"M:", folder_); }
  void TearDown() override { ClearDriveRoots(); }
  void Write(const char* name, const std::string& bytes) {
    std::ofstream file(folder_ / name, std::ios::binary);
    file << bytes;
  }
  testing::TempFolder temp_{u"qm-mapping"};
  const fs::path& folder_ = temp_.path();
};

// Sums every byte: reads the whole view.
bool ReadAll(const void* context, const uint8_t* data, uint64_t size) {
  uint64_t sum = 0;
  for (uint64_t i = 0; i < size; ++i) sum += data[i];
  *static_cast<uint64_t*>(const_cast<void*>(context)) = sum;
  return sum != 0;
}

TEST_F(FileMappingTest, MapsTheWholeFileReadOnly) {
  Write("data.bin", std::string(10000, '\x01'));
  MappedFile file;
  ASSERT_TRUE(file.Open(u"M:\\data.bin"));
  uint64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 10000u);
  ASSERT_TRUE(file.Map(size));
  uint64_t sum = 0;
  EXPECT_EQ(ScanMappedView(file, ReadAll, &sum), ScanOutcome::kFound);
  EXPECT_EQ(sum, 10000u);
  file.Close();
  file.Close();  // safe to repeat
  EXPECT_EQ(file.data(), nullptr);
}

TEST_F(FileMappingTest, WhatCannotBeMappedSaysSo) {
  Write("empty.bin", "");
  fs::create_directory(folder_ / "dir");
  MappedFile file;
  EXPECT_FALSE(file.Open(u"M:\\missing.bin"));
  uint64_t size = 1;
  EXPECT_FALSE(file.Size(&size)) << "nothing is open";
  ASSERT_TRUE(file.Open(u"M:\\empty.bin"));
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(file.Map(0));
  if (file.Open(u"M:\\dir")) {
    EXPECT_FALSE(file.Size(&size)) << "a directory has no bytes";
  }
}

TEST_F(FileMappingTest, ADriveWithoutFilesReachesNoRealFile) {
  Write("data.bin", "bytes");
  // The drive letter of a volume image: its paths must not reach a file of this machine even
  // where one exists at the same path.
  SetDriveWithoutFiles(u"M:");
  MappedFile file;
  EXPECT_FALSE(file.Open(u"M:\\data.bin"));
  FileAttributeData data;
  EXPECT_FALSE(SystemFileAttributes().QueryAttributes(u"M:\\data.bin", &data));
  SetDriveRoot(u"M:", folder_);
  EXPECT_TRUE(file.Open(u"M:\\data.bin"));
  EXPECT_TRUE(SystemFileAttributes().QueryAttributes(u"M:\\data.bin", &data));
}

TEST_F(FileMappingTest, AFileTruncatedWhileMappedFaultsInsteadOfEndingTheProcess) {
  const uint64_t length = 1 << 20;
  Write("shrinks.bin", std::string(length, '\x02'));
  MappedFile file;
  ASSERT_TRUE(file.Open(u"M:\\shrinks.bin"));
  uint64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  ASSERT_TRUE(file.Map(size));
  // Another program cuts the file to one page.
  std::error_code error;
  fs::resize_file(folder_ / "shrinks.bin", 4096, error);
  uint64_t sum = 0;
#ifdef _WIN32
  // The system refuses to shrink a mapped file: the view stays whole.
  EXPECT_TRUE(error);
  EXPECT_EQ(ScanMappedView(file, ReadAll, &sum), ScanOutcome::kFound);
  EXPECT_EQ(sum, 2 * length);
  return;
#endif
  ASSERT_FALSE(error);
  EXPECT_EQ(ScanMappedView(file, ReadAll, &sum), ScanOutcome::kReadFault);
  // The thread goes on working normally: again, and with a readable view.
  EXPECT_EQ(ScanMappedView(file, ReadAll, &sum), ScanOutcome::kReadFault);
  Write("fine.bin", std::string(100, '\x03'));
  MappedFile fine;
  ASSERT_TRUE(fine.Open(u"M:\\fine.bin"));
  ASSERT_TRUE(fine.Size(&size));
  ASSERT_TRUE(fine.Map(size));
  EXPECT_EQ(ScanMappedView(fine, ReadAll, &sum), ScanOutcome::kFound);
  EXPECT_EQ(sum, 300u);
}

#ifndef _WIN32
TEST_F(FileMappingTest, ANamedPipeNeitherBlocksNorMaps) {
  ASSERT_EQ(mkfifo((folder_ / "pipe.txt").c_str(), 0600), 0);
  MappedFile file;
  uint64_t size = 0;
  if (file.Open(u"M:\\pipe.txt")) {
    EXPECT_FALSE(file.Size(&size));
  }
}

TEST_F(FileMappingTest, AFaultOutsideAScanStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Write("shrinks.bin", std::string(1 << 16, '\x02'));
  EXPECT_EXIT(
      {
        MappedFile file;
        uint64_t size = 0;
        if (!file.Open(u"M:\\shrinks.bin") || !file.Size(&size) || !file.Map(size)) _exit(0);
        uint64_t sum = 0;
        ScanMappedView(file, ReadAll, &sum);  // the handler is in place
        fs::resize_file(folder_ / "shrinks.bin", 0);
        volatile uint8_t last = file.data()[size - 1];
        (void)last;
        _exit(0);
      },
      // Killed by SIGBUS; under a sanitizer, its report ends the process instead. Only a read
      // that survived reaches _exit(0).
      [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }, "");
}
#endif

}  // namespace
}  // namespace qm
