// The per-drive thread that polls the volume's change journal and applies creations,
// deletions and changes of name to the drive's store.
#pragma once

#include <cstddef>
#include <cstdint>

#include "index/volume_index.h"

namespace qm {

// Reasons the monitor asks the journal for: create, delete, old name, new name.
inline constexpr uint32_t kMonitorReasonMask = 0x3300;

// The monitor thread's body. Polls every 300 ms; ends on shutdown, when `monitoring` is
// cleared, or on an error that makes further reads pointless.
void MonitorJournal(VolumeIndex* index);

// Clears `monitoring`, cancels a read in progress and joins the monitor thread, if any.
void StopMonitor(VolumeIndex& index);

// Applies the entries of one journal read (bytes from offset 8 up to `size`). Caller holds
// `lock` exclusively. Stops at the first entry that is not sound; never reads outside.
void ApplyJournalBatch(VolumeIndex& index, const uint8_t* buffer, size_t size);

}  // namespace qm
