#include "app/cli_journal_catch_up.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "index/drive_list.h"
#include "index/volume_index.h"
#include "platform/journal_layout.h"
#include "platform/win32_codes.h"

namespace qm::cli {

namespace {

// How long the journal monitors get to catch up with their volumes' journals.
constexpr auto kJournalDeadline = std::chrono::seconds(60);

// The journal's next USN as the device reports it; false when it cannot be asked.
bool QueryNextUsn(VolumeIndex& index, int64_t* nextUsn) {
  VolumeHandle handle;
  {
    std::shared_lock guard(index.lock);
    handle = index.volumeHandle;
  }
  if (handle == kInvalidVolumeHandle) return false;
  uint8_t out[UsnJournalData::kSize] = {};
  uint32_t returned = 0;
  if (index.device->Control(handle, kFsctlQueryUsnJournal, nullptr, 0, out, sizeof(out),
                            &returned) != kErrorSuccess ||
      returned < UsnJournalData::kSize) {
    return false;
  }
  *nextUsn = DecodeUsnJournalData(out).nextUsn;
  return true;
}

}  // namespace

void AwaitJournalMonitors(const std::function<bool()>& giveUp) {
  std::vector<VolumeIndex*> drives;
  {
    std::lock_guard guard(driveList.mutex);
    for (const VolumeIndexPtr& drive : driveList.entries) drives.push_back(drive.get());
  }
  const auto deadline = std::chrono::steady_clock::now() + kJournalDeadline;
  for (VolumeIndex* drive : drives) {
    int64_t target = 0;
    if (!QueryNextUsn(*drive, &target)) continue;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::shared_lock guard(drive->lock);
        if (drive->nextUsn >= target || !drive->monitoring.load()) break;
      }
      if (giveUp && giveUp()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace qm::cli
