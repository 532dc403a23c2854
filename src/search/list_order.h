// The order a sort found for a list, kept apart from the list so that what was learnt about each
// entry while its key was made serves the list's summary too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "platform/large_block.h"
#include "search/results.h"
#include "search/sort_stop.h"

namespace qm {

struct ListOrder {
  using Positions = std::vector<uint32_t, LargeBlockAllocator<uint32_t>>;
  // For each place of the sorted list, the position its entry had before the sort.
  Positions positions;
  // For each position before the sort: 1 when the entry's record existed and was not deleted
  // when the sort read it.
  std::vector<uint8_t, LargeBlockAllocator<uint8_t>> live;
};

// Calls visit(i, drive, recordCount) for every entry i of `items` in order, with the entry's
// drive lock held shared: one drive's lock at a time, taken anew every kEntriesPerLock entries so
// that the journal monitor is not kept waiting for a whole pass. False when `stop` answered
// true first. The caller holds no drive lock.
inline constexpr size_t kEntriesPerLock = 1024;
template <typename Visit>
bool VisitUnderDriveLocks(const MatchList& items, SortStop& stop, Visit&& visit) {
  std::shared_lock<SharedMutex> guard;
  const VolumeIndex* locked = nullptr;
  uint64_t count = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (stop.Step()) return false;
    const VolumeIndex& drive = *items[i].volume;
    if (&drive != locked || i % kEntriesPerLock == 0) {
      if (guard.owns_lock()) guard.unlock();
      guard = std::shared_lock(drive.lock);
      locked = &drive;
      count = RecordCount(drive);
    }
    visit(i, drive, count);
  }
  return true;
}

}  // namespace qm
