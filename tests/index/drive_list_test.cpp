#include "index/drive_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <system_error>
#include <thread>

#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "standin/fake_volume.h"
#include "support/recording_poster.h"

namespace qm {
namespace {

using testing::RecordingPoster;

// A machine whose drives are stand-in volumes with a file-system name each.
class FakeDrives : public DriveSystem {
 public:
  struct Drive {
    std::u16string fileSystem;  // empty: GetVolumeInformationW fails (no medium)
    std::unique_ptr<FakeVolume> volume;
    bool throws = false;  // the build's thread cannot be created
  };

  FakeVolume& Add(char letter, std::u16string fileSystem) {
    Drive& drive = drives_[letter];
    drive.fileSystem = std::move(fileSystem);
    drive.volume = std::make_unique<FakeVolume>(std::u16string{char16_t(letter), u':'});
    drive.volume->SetJournal(1, 0, 100);
    drive.volume->AddEntry({5, 5, 0x16, 1, u"."});
    drive.volume->AddEntry({0x20, 5, 0x20, 2, std::u16string(u"on ") + char16_t(letter)});
    return *drive.volume;
  }
  void MakeThrow(char letter) { drives_[letter].throws = true; }

  uint32_t LogicalDriveMask() override {
    uint32_t mask = 0;
    for (const auto& [letter, drive] : drives_) mask |= 1u << (letter - 'A');
    return mask;
  }
  bool FileSystemName(std::u16string_view root, std::u16string* name) override {
    EXPECT_EQ(root.size(), 3u);
    EXPECT_EQ(root.substr(1), u":\\");
    const Drive& drive = drives_.at(char(root[0]));
    if (drive.fileSystem.empty()) return false;
    *name = drive.fileSystem;
    return true;
  }
  VolumeDevice& DeviceFor(std::u16string_view drive) override {
    Drive& d = drives_.at(char(drive[0]));
    if (d.throws)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return *d.volume;
  }

 private:
  std::map<char, Drive> drives_;
};

class DiscoveryTest : public ::testing::Test {
 protected:
  ~DiscoveryTest() override {
    ReleaseDrives(list);
    shuttingDown = false;
  }
  std::vector<std::u16string> Drives() {
    std::lock_guard guard(list.mutex);
    std::vector<std::u16string> names;
    for (const auto& index : list.entries) names.push_back(index->drive);
    return names;
  }
  DriveList list;
  FakeDrives machine;
  RecordingPoster window;
};

TEST_F(DiscoveryTest, KeepsOnlyNtfsDrivesThatCanBeOpened) {
  machine.Add('C', u"NTFS");
  machine.Add('D', u"FAT32");
  FakeVolume& e = machine.Add('E', u"NTFS");
  e.FailOpen(0xC0000000u, kErrorAccessDenied);
  e.FailOpen(0x80000000u, kErrorAccessDenied);
  machine.Add('F', u"ntfs");  // the name is compared exactly
  machine.Add('G', u"");      // an empty card reader
  DiscoverDrives(list, machine, window);
  EXPECT_EQ(Drives(), std::vector<std::u16string>{u"C:"});
  auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, WM_INDEX_READY);
  EXPECT_EQ(messages[0].wParam, 0u);
  EXPECT_EQ(messages[0].lParam, 0);
  std::lock_guard guard(list.mutex);
  EXPECT_TRUE(list.indexReady);
}

TEST_F(DiscoveryTest, OnlyNonNtfsDrivesReportThatNothingWasIndexed) {
  machine.Add('A', u"FAT");
  machine.Add('D', u"FAT32");
  DiscoverDrives(list, machine, window);
  EXPECT_TRUE(Drives().empty());
  auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, 1u);
  std::lock_guard guard(list.mutex);
  EXPECT_FALSE(list.indexReady);
}

TEST_F(DiscoveryTest, ListIsSortedWhateverOrderTheBuildsFinishIn) {
  // E finishes first, then C, then D.
  auto delay = [](int ms) {
    return [ms](uint32_t code, int nth) {
      if (code == kFsctlQueryUsnJournal && nth == 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
  };
  machine.Add('C', u"NTFS").OnControl(delay(150));
  machine.Add('D', u"NTFS").OnControl(delay(300));
  machine.Add('E', u"NTFS");
  DiscoverDrives(list, machine, window);
  EXPECT_EQ(Drives(), (std::vector<std::u16string>{u"C:", u"D:", u"E:"}));
}

TEST_F(DiscoveryTest, DriveWhoseTaskThrowsIsLeftOut) {
  machine.Add('C', u"NTFS");
  machine.Add('D', u"NTFS");
  machine.MakeThrow('C');
  DiscoverDrives(list, machine, window);
  EXPECT_EQ(Drives(), std::vector<std::u16string>{u"D:"});
  ASSERT_EQ(window.Messages().size(), 1u);
  EXPECT_EQ(window.Messages()[0].wParam, 0u);
}

TEST_F(DiscoveryTest, ShutdownDuringTheBuildsPostsNothing) {
  machine.Add('C', u"NTFS").OnControl([](uint32_t code, int) {
    if (code == kFsctlEnumUsnData) shuttingDown = true;
  });
  machine.Add('D', u"NTFS");
  DiscoverDrives(list, machine, window);
  EXPECT_TRUE(window.Messages().empty());
  std::lock_guard guard(list.mutex);
  EXPECT_FALSE(list.indexReady);
}

TEST_F(DiscoveryTest, ABuildThatEndsAfterShutdownReleasedTheDrivesStaysOut) {
  // Shutdown runs its release while C:'s enumeration is under way; the build then ends.
  machine.Add('C', u"NTFS").OnControl([this](uint32_t code, int nth) {
    if (code != kFsctlEnumUsnData || nth != 1) return;
    shuttingDown = true;
    ReleaseDrives(list);
  });
  DiscoverDrives(list, machine, window);
  EXPECT_TRUE(Drives().empty()) << "a drive joined the list after it was released";
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(DiscoveryTest, ReleaseStopsEveryMonitorAndEmptiesTheList) {
  machine.Add('C', u"NTFS");
  machine.Add('E', u"NTFS");
  DiscoverDrives(list, machine, window);
  ASSERT_EQ(Drives().size(), 2u);
  ReleaseDrives(list);
  EXPECT_TRUE(Drives().empty());
}

}  // namespace
}  // namespace qm
