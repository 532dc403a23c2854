#include "index/drive_list.h"

#include <algorithm>
#include <future>

#include "base/shutting_down.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "index/journal_monitor.h"
#include "index/volume_build.h"

namespace qm {

DriveList driveList;

void IndexDrive(DriveList& list, DriveSystem& system, std::u16string_view drive) {
  const std::u16string root = {drive.empty() ? u'?' : drive[0], u':', u'\\'};
  std::u16string fileSystem;
  if (!system.FileSystemName(root, &fileSystem)) return;
  if (fileSystem != u"NTFS") return;
  VolumeIndexPtr index(new VolumeIndex(system.DeviceFor(drive)));
  if (!BuildVolumeIndex(*index, drive)) return;  // the deleter releases it
  std::lock_guard guard(list.mutex);
  // Shutdown sets shuttingDown before it empties the list under this mutex: a build that ends
  // after that keeps its drive out of the list, and the deleter (after the unlock) stops its
  // monitor and frees it, instead of leaving it in a list nobody empties again.
  if (ShuttingDown()) return;
  list.entries.push_back(std::move(index));
}

void DiscoverDrives(DriveList& list, DriveSystem& system, MessagePoster& window) {
  const uint32_t mask = system.LogicalDriveMask();
  std::vector<std::future<void>> tasks;
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::u16string drive = {char16_t(u'A' + i), u':'};
    try {
      tasks.push_back(std::async(std::launch::async,
                                 [&list, &system, drive] { IndexDrive(list, system, drive); }));
    } catch (const std::system_error&) {
      // No thread for this drive: it is left out like a drive whose build failed.
    }
  }
  for (auto& task : tasks) {
    try {
      task.get();
    } catch (...) {
      // A task that threw (a thread of its build could not start) is a failed build.
    }
  }
  if (ShuttingDown()) return;
  std::lock_guard guard(list.mutex);
  std::sort(list.entries.begin(), list.entries.end(),
            [](const VolumeIndexPtr& a, const VolumeIndexPtr& b) { return a->drive < b->drive; });
  list.indexReady = !list.entries.empty();
  window.Post(WM_INDEX_READY, list.indexReady ? 0 : 1, 0);
}

void ReleaseDrives(DriveList& list) {
  // Search, sort and filter workers read drives through their result entries until they end;
  // they see shuttingDown and stop within moments. Waited for before the list's mutex is taken,
  // because a starting search takes it.
  AwaitWorkers();
  std::lock_guard guard(list.mutex);
  for (auto& index : list.entries) StopMonitor(*index);
  list.entries.clear();  // each deleter closes the volume and frees the records
}

}  // namespace qm
