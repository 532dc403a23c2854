// The drives of the search benchmarks, for every benchmark file: a synthetic system drive C:
// of 10 million entries and a folder of text files as drive T:, both in the DriveList with
// indexReady set. Built on first use (about a minute) and released at exit, the indexes before
// the volumes they were read from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "index/volume_index.h"
#include "standin/fake_volume.h"
#include "standin/folder_volume.h"

namespace qm {

inline constexpr size_t kDriveEntries = 10000000;

struct SearchDrives {
  SearchDrives();
  ~SearchDrives();

  std::unique_ptr<FakeVolume> volume;
  std::unique_ptr<FolderVolume> folder;
  VolumeIndex* drive = nullptr;  // C:
  std::filesystem::path textFolder;
  uint64_t textBytes = 0;

 private:
  void WriteTextFiles();
};

SearchDrives& Drives();

// Runs one search on the calling thread, as the worker StartSearch starts would, over the
// drives selectedDrive names; the number of results it published (currentResults).
size_t SearchOnce(const std::u16string& query);

}  // namespace qm
