// Filling one drive's VolumeIndex from its master file table, read through the change
// journal's enumeration control in 64 KiB pieces.
//
// The producer (the thread that calls BuildVolumeIndex) reads buffers and queues them; a
// consumer thread parses them into records meanwhile, so device reads and parsing overlap.
#pragma once

#include <cstdint>
#include <string_view>

#include "index/volume_index.h"

namespace qm {

inline constexpr uint32_t kEnumBufferSize = 0x10000;  // every enumeration and journal read
inline constexpr uint32_t kEnumProbeSize = 520;
inline constexpr uint64_t kJournalMaximumSize = 0x10000000;     // 256 MiB
inline constexpr uint64_t kJournalAllocationDelta = 0x1000000;  // 16 MiB
inline constexpr int64_t kHighestUsn = 0x7FFFFFFFFFFFFFFF;

// One enumeration read: a next start reference (8 bytes), then version-2 records.
struct EnumBuffer {
  uint8_t bytes[kEnumBufferSize] = {};
  uint32_t returned = 0;  // bytes the read returned
};

// Opens \\.\<drive>, makes sure the volume has a journal, enumerates every entry into the
// index, builds indexByFrn and starts the journal monitor. True when the volume was opened
// and its journal queried (also when shutdown cut the build short); false when nothing usable
// was built, in which case the caller releases the index.
bool BuildVolumeIndex(VolumeIndex& index, std::u16string_view drive);

// Stops the journal monitor, closes the volume handle (a failing close is written to the
// debugger output) and then pauses 300 ms, with or without a handle.
void CloseVolume(VolumeIndex& index);

// Appends the records of one enumeration buffer. Stops at the first record that is not sound
// (zero length, too short, running past the returned bytes, or a name outside its record),
// and never reads outside the buffer. Caller is the only thread that reaches the index.
void ParseEnumBuffer(const EnumBuffer& buffer, VolumeIndex& target);

}  // namespace qm
