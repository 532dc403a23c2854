// Drives served from real temporary folders for the tests of the workers that read files: each
// drive is a FolderVolume indexed through BuildVolumeIndex and put in the DriveList, and its
// drive name is mapped to the folder so that full paths (C:\dir\file) reach the real files.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
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
#include "platform/clock.h"
#include "platform/drive_roots.h"
#include "platform/file_attributes.h"
#include "search/result_summary.h"
#include "search/results.h"
#include "standin/folder_volume.h"
#include "support/recording_poster.h"
#include "support/temp_folder.h"

namespace qm::testing {

namespace fs = std::filesystem;

// A clock whose tick count a test sets; calls can run a hook (counted from 1).
class FakeClock : public Clock {
 public:
  std::atomic<uint64_t> now{0};
  std::atomic<uint64_t> step{0};  // added after each TickCount
  std::atomic<uint64_t> calls{0};
  std::function<void(uint64_t call)> onTick;  // set before the workers start

  uint64_t TickCount() override {
    const uint64_t call = calls.fetch_add(1) + 1;
    if (onTick) onTick(call);
    return now.fetch_add(step.load());
  }
  bool ToLocalTime(uint64_t fileTime, LocalTimeParts* out) override {
    return SystemClock().ToLocalTime(fileTime, out);
  }
};

// The system's file attributes, counted; a hook may run before each query.
class CountingAttributes : public FileAttributeSource {
 public:
  std::atomic<uint64_t> calls{0};
  std::function<void(uint64_t call)> onQuery;

  bool QueryAttributes(std::u16string_view fullPath, FileAttributeData* out) override {
    const uint64_t call = calls.fetch_add(1) + 1;
    if (onQuery) onQuery(call);
    return SystemFileAttributes().QueryAttributes(fullPath, out);
  }
};

class FolderDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shuttingDown.store(false);
    mainWindow.store(&poster);
  }

  void TearDown() override {
    AwaitWorkers();  // a worker a test started reads the drives until it ends
    shuttingDown.store(false);
    TakeTitles();
    clockOverride.store(nullptr);
    fileAttributesOverride.store(nullptr);
    {
      std::lock_guard guard(driveList.mutex);
      driveList.entries.clear();
      driveList.indexReady = false;
    }
    volumes_.clear();
    ClearDriveRoots();
    {
      std::lock_guard guard(resultsMutex);
      currentResults.reset();
      currentSummary.reset();
    }
    mainWindow.store(nullptr);
  }

  // The folder behind drive `letter` (created on first use).
  fs::path Folder(char letter) {
    fs::path folder = base_.path() / std::string(1, letter);
    fs::create_directories(folder);
    return folder;
  }

  void Write(char letter, const fs::path& relative, std::string_view bytes) {
    const fs::path path = Folder(letter) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
  }
  void MakeDir(char letter, const fs::path& relative) {
    fs::create_directories(Folder(letter) / relative);
  }

  // Indexes drive `letter` from its folder as it is now and appends it to the DriveList.
  VolumeIndex& Index(char letter) {
    const std::u16string drive{char16_t(letter), u':'};
    auto volume = std::make_unique<FolderVolume>(drive, Folder(letter));
    VolumeIndexPtr index(new VolumeIndex(*volume));
    EXPECT_TRUE(BuildVolumeIndex(*index, drive));
    SetDriveRoot(drive, Folder(letter));
    VolumeIndex& built = *index;
    volumes_.push_back(std::move(volume));
    std::lock_guard guard(driveList.mutex);
    driveList.entries.push_back(std::move(index));
    driveList.indexReady = true;
    return built;
  }

  // The live entry whose path is `path`; fails the test when there is none.
  MatchItem ItemOf(VolumeIndex& index, std::u16string_view path) {
    uint64_t count;
    {
      std::shared_lock guard(index.lock);
      count = RecordCount(index);
    }
    for (uint64_t i = 0; i < count; ++i) {
      bool deleted;
      {
        std::shared_lock guard(index.lock);
        deleted = index.records[i].deleted != 0;
      }
      if (!deleted && BuildPath(index, i) == path) return {&index, uint32_t(i)};
    }
    ADD_FAILURE() << "no entry for the path";
    return {&index, 0};
  }

  static std::vector<std::u16string> PathsOf(const MatchList& items) {
    std::vector<std::u16string> paths;
    for (const MatchItem& item : items) paths.push_back(BuildPath(*item.volume, item.recordIndex));
    return paths;
  }

  void Publish(MatchList items) {
    std::lock_guard guard(resultsMutex);
    currentResults = std::make_shared<const MatchList>(std::move(items));
  }
  ResultList Current() {
    std::lock_guard guard(resultsMutex);
    return currentResults;
  }

  // The texts of the WM_SET_TITLE messages posted so far (the buffers are freed here).
  // The titles posted since the last call, in order; call it when no worker runs.
  std::vector<std::u16string> TakeTitles() {
    std::vector<std::u16string> titles;
    const std::vector<PostedMessage> messages = poster.Messages();
    for (; titlesTaken_ < messages.size(); ++titlesTaken_) {
      const PostedMessage& message = messages[titlesTaken_];
      if (message.message != WM_SET_TITLE) continue;
      char16_t* text = reinterpret_cast<char16_t*>(message.lParam);
      titles.emplace_back(text);
      delete[] text;
    }
    return titles;
  }

  RecordingPoster poster;

 private:
  TempFolder base_{u"qm-engine"};
  size_t titlesTaken_ = 0;  // messages already looked at by TakeTitles
  std::vector<std::unique_ptr<FolderVolume>> volumes_;
};

}  // namespace qm::testing
