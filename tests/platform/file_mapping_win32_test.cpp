// Containment of read faults in a mapped view under Windows. A failing medium cannot be made on
// demand, so the scans raise the exception the system raises for one (EXCEPTION_IN_PAGE_ERROR
// with the read address), which reaches the vectored handlers the same way.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "platform/drive_roots.h"
#include "platform/file_mapping.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FileMappingWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(folder_ / "data.bin", std::ios::binary) << std::string(100000, 'x');
    SetDriveRoot(u"W:", folder_);
  }
  void TearDown() override { ClearDriveRoots(); }
  void Map(MappedFile& file) {
    ASSERT_TRUE(file.Open(u"W:\\data.bin"));
    uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    ASSERT_TRUE(file.Map(size));
  }
  testing::TempFolder temp_{u"qm-mapping-w"};
  const fs::path& folder_ = temp_.path();
};

void RaiseReadFault(const void* address) {
  const ULONG_PTR details[] = {0, reinterpret_cast<ULONG_PTR>(address), 0xC000009C};
  RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, details);
}

// Reads a little, then faults at the offset the context names inside the view.
bool FaultAt(const void* context, const uint8_t* data, uint64_t size) {
  const uint64_t offset = *static_cast<const uint64_t*>(context);
  volatile uint8_t sum = 0;
  for (uint64_t i = 0; i < size && i < 100; ++i) sum = uint8_t(sum + data[i]);
  RaiseReadFault(data + offset);
  return true;  // never reached when the fault is contained
}

bool FindX(const void*, const uint8_t* data, uint64_t size) {
  return size > 0 && data[size - 1] == 'x';
}

TEST_F(FileMappingWin32Test, AReadFaultInTheViewEndsOnlyThatScan) {
  MappedFile file;
  Map(file);
  for (uint64_t offset : {uint64_t(0), uint64_t(4096), uint64_t(99999)}) {
    EXPECT_EQ(ScanMappedView(file, FaultAt, &offset), ScanOutcome::kReadFault) << offset;
    EXPECT_EQ(ScanMappedView(file, FindX, nullptr), ScanOutcome::kFound) << "the next scan runs";
  }
}

std::atomic<int> passedOn{0};
const uint8_t* outsideAddress = nullptr;

// Registered after the containment handler: sees what it passes on, and lets it go.
LONG CALLBACK CountPassedOn(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR && record->NumberParameters >= 2 &&
      record->ExceptionInformation[1] == reinterpret_cast<ULONG_PTR>(outsideAddress)) {
    passedOn.fetch_add(1);
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

bool FaultOutside(const void*, const uint8_t*, uint64_t) {
  RaiseReadFault(outsideAddress);
  return true;  // reached: the fault was not this scan's
}

TEST_F(FileMappingWin32Test, FaultsElsewhereAreNotContained) {
  MappedFile file;
  Map(file);
  // The containment handler is installed by the first scan; this one comes after it.
  ASSERT_EQ(ScanMappedView(file, FindX, nullptr), ScanOutcome::kFound);
  PVOID counter = AddVectoredExceptionHandler(0, CountPassedOn);
  ASSERT_NE(counter, nullptr);
  static const uint8_t elsewhere[16] = {};
  outsideAddress = elsewhere;
  EXPECT_EQ(ScanMappedView(file, FaultOutside, nullptr), ScanOutcome::kFound);
  EXPECT_EQ(passedOn.load(), 1);
  // A fault with no scan running on this thread goes on too.
  RaiseReadFault(outsideAddress);
  EXPECT_EQ(passedOn.load(), 2);
  RemoveVectoredExceptionHandler(counter);
}

TEST_F(FileMappingWin32Test, OneThreadsFaultLeavesAnotherThreadsScanAlone) {
  std::atomic<int> found{0};
  std::atomic<int> faulted{0};
  std::thread threads[4];
  for (int t = 0; t < 4; ++t) {
    threads[t] = std::thread([&, t] {
      MappedFile file;
      if (!file.Open(u"W:\\data.bin")) return;
      uint64_t size = 0;
      if (!file.Size(&size) || !file.Map(size)) return;
      for (int k = 0; k < 200; ++k) {
        uint64_t offset = uint64_t(k) * 37 % size;
        if (t % 2 == 0) {
          faulted += ScanMappedView(file, FaultAt, &offset) == ScanOutcome::kReadFault;
        } else {
          found += ScanMappedView(file, FindX, nullptr) == ScanOutcome::kFound;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(faulted.load(), 400);
  EXPECT_EQ(found.load(), 400);
}

}  // namespace
}  // namespace qm
