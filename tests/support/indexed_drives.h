// Drives for tests of what reads the process's DriveList: stand-in volumes built through the
// real build (with their journal monitors running), put into driveList with indexReady set,
// and a poster standing for the main window. The fixture puts every piece of search, filter
// and recent-opens state back at the end of a test, after the detached workers have ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "index/build_path.h"
#include "index/drive_list.h"
#include "index/volume_build.h"
#include "search/filter_view.h"
#include "search/result_summary.h"
#include "search/results.h"
#include "search/search.h"
#include "standin/fake_volume.h"
#include "support/awaiting_poster.h"
#include "view/recent_opens.h"

namespace qm::testing {

inline constexpr uint64_t kRootFrn = 5;
inline constexpr uint32_t kFileAttributes = 0x20;
inline constexpr uint32_t kDirectoryAttributes = 0x10;
inline constexpr uint32_t kReasonCreate = 0x100;
inline constexpr uint32_t kReasonDelete = 0x200;
inline constexpr uint32_t kReasonOldName = 0x1000;
inline constexpr uint32_t kReasonNewName = 0x2000;
inline constexpr uint32_t kReasonClose = 0x80000000u;

// One entry of a test volume: a file unless `directory`.
struct TestEntry {
  uint64_t frn;
  uint64_t parentFrn;
  std::u16string name;
  bool directory = false;
};

// Waits until `done` holds; false after ten seconds.
template <typename Predicate>
bool WaitUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until no search, sort or filter worker runs.
inline bool WaitForWorkers() {
  return WaitUntil([] { return RunningWorkers() == 0; });
}

// Puts every piece of shared search state back as the process starts with it (the
// generations keep growing).
inline void ResetSearchState() {
  {
    std::lock_guard guard(resultsMutex);
    currentResults.reset();
    currentSummary.reset();
  }
  {
    std::lock_guard guard(recentMutex);
    recentOpens.clear();
  }
  {
    std::lock_guard guard(filterMutex);
    filteredResults.reset();
    filteredTag.store(-1);
    filteredCount.store(0);
  }
  selectedTag.store(0);
  selectedDrive.store(0);
  sortColumn.store(-1);
  sortAscending.store(true);
  shuttingDown.store(false);
}

class IndexedDrivesTest : public ::testing::Test {
 protected:
  IndexedDrivesTest() {
    ResetSearchState();
    mainWindow.store(&poster);
  }
  ~IndexedDrivesTest() override {
    EXPECT_TRUE(WaitForWorkers()) << "a worker did not end";
    ReleaseDrives(driveList);
    {
      std::lock_guard guard(driveList.mutex);
      driveList.indexReady = false;
    }
    mainWindow.store(nullptr);
    ResetSearchState();
  }

  // Builds drive `drive` (C: and so on) from `entries` below a root directory and appends it
  // to driveList. Call Ready when every drive is added.
  VolumeIndex& AddDrive(std::u16string drive, const std::vector<TestEntry>& entries) {
    auto volume = std::make_unique<FakeVolume>(drive);
    // The journal starts above every entry's USN: entries at or above it are not enumerated.
    const int64_t journalStart = 1000 + int64_t(entries.size());
    volume->SetJournal(0x51, 0, journalStart);
    volume->AddEntry({kRootFrn, kRootFrn, 0x16, 1, u"."});
    int64_t usn = 2;
    for (const TestEntry& e : entries) {
      volume->AddEntry({e.frn, e.parentFrn, e.directory ? kDirectoryAttributes : kFileAttributes,
                        usn++, e.name});
    }
    VolumeIndexPtr index(new VolumeIndex(*volume));
    EXPECT_TRUE(BuildVolumeIndex(*index, drive));
    VolumeIndex& built = *index;
    volumes.push_back(std::move(volume));
    nextUsn.push_back(journalStart);
    std::lock_guard guard(driveList.mutex);
    driveList.entries.push_back(std::move(index));
    return built;
  }

  void Ready() {
    std::lock_guard guard(driveList.mutex);
    driveList.indexReady = true;
  }

  VolumeIndex& Drive(size_t position) {
    std::lock_guard guard(driveList.mutex);
    return *driveList.entries[position];
  }

  // Journals one change on the drive at `position`; WaitForMonitors lets it be applied.
  void Journal(size_t position, uint32_t reason, uint64_t frn, uint64_t parentFrn,
               std::u16string name, bool directory = false) {
    volumes[position]->AddChange({nextUsn[position], reason, frn, parentFrn,
                                  directory ? kDirectoryAttributes : kFileAttributes,
                                  std::move(name)});
    nextUsn[position] += 0x100;
  }
  void DeleteFile(size_t position, uint64_t frn, uint64_t parentFrn, std::u16string name) {
    Journal(position, kReasonDelete | kReasonClose, frn, parentFrn, std::move(name));
  }
  void CreateFile(size_t position, uint64_t frn, uint64_t parentFrn, std::u16string name) {
    Journal(position, kReasonCreate | kReasonClose, frn, parentFrn, std::move(name));
  }

  // Waits until every drive's monitor has read everything journaled so far.
  void WaitForMonitors() {
    for (size_t i = 0; i < volumes.size(); ++i) {
      const int64_t target = volumes[i]->NextUsn();
      VolumeIndex& index = Drive(i);
      ASSERT_TRUE(WaitUntil([&] {
        std::shared_lock guard(index.lock);
        return index.nextUsn >= target;
      })) << "the monitor did not catch up";
    }
  }

  // The record index of the live entry with this full path; -1 when there is none.
  int64_t RecordOf(size_t position, std::u16string_view path) {
    VolumeIndex& index = Drive(position);
    std::vector<uint64_t> live;
    {
      std::shared_lock guard(index.lock);
      for (uint64_t i = 0; i < RecordCount(index); ++i) {
        if (!index.records[i].deleted) live.push_back(i);
      }
    }
    for (uint64_t i : live) {
      if (BuildPath(index, i) == path) return int64_t(i);
    }
    return -1;
  }
  MatchItem ItemOf(size_t position, std::u16string_view path) {
    const int64_t i = RecordOf(position, path);
    EXPECT_GE(i, 0) << "no live entry for the path";
    return MatchItem{&Drive(position), uint32_t(i < 0 ? 0 : i)};
  }

  // Full paths of a result list, in order.
  static std::vector<std::u16string> PathsOf(const ResultList& list) {
    std::vector<std::u16string> paths;
    if (!list) return paths;
    for (const MatchItem& item : *list) paths.push_back(BuildPath(*item.volume, item.recordIndex));
    return paths;
  }
  static ResultList Current() {
    std::lock_guard guard(resultsMutex);
    return currentResults;
  }

  // Starts a search and waits for its WM_SEARCH_DONE; the generation it ran with.
  uint64_t SearchAndWait(std::u16string query) {
    StartSearch(std::move(query), false, false);
    const uint64_t generation = searchGeneration.load();
    EXPECT_TRUE(poster.WaitFor(WM_SEARCH_DONE, generation)) << "no WM_SEARCH_DONE";
    return generation;
  }

  AwaitingPoster poster;
  std::vector<std::unique_ptr<FakeVolume>> volumes;  // outlive the indexes (released first)
  std::vector<int64_t> nextUsn;
};

}  // namespace qm::testing
