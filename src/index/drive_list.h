// The process-wide list of indexed drives, and the discovery that fills it: one build per
// NTFS drive, all drives in parallel, the list sorted by drive name when all have ended.
#pragma once

#include <mutex>
#include <string_view>
#include <vector>

#include "index/volume_index.h"
#include "platform/drive_system.h"
#include "platform/message_poster.h"

namespace qm {

struct DriveList {
  std::vector<VolumeIndexPtr> entries;  // Under mutex; sorted by drive once indexReady is set.
  std::mutex mutex;
  bool indexReady = false;  // Under mutex. Set once, when discovery has finished.
};

// The process's one list.
extern DriveList driveList;

// Finds every drive letter in use, builds the NTFS ones in parallel, sorts the list and
// posts WM_INDEX_READY (wParam 1 when no drive was indexed). Posts nothing, and publishes
// nothing, once shuttingDown is set.
void DiscoverDrives(DriveList& list, DriveSystem& system, MessagePoster& window);

// One drive's task: checks the file system, builds the index and appends it on success, unless
// shutdown has begun meanwhile (the drive is then released here).
void IndexDrive(DriveList& list, DriveSystem& system, std::u16string_view drive);

// Shutdown, called after shuttingDown is set: waits until no search, sort or filter worker runs
// (base/worker_count.h), then stops every monitor, then releases every drive and empties the
// list. The caller holds no lock a worker may wait for.
void ReleaseDrives(DriveList& list);

}  // namespace qm
