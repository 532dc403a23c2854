// The name pass over one range of a drive's records: the records whose names hold the query,
// in record order. The search splits each drive into such ranges and scans them on the shared
// pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "index/volume_index.h"
#include "search/name_scan.h"
#include "search/result_summary.h"

namespace qm {

// Tells a range to stop: its search's generation was overtaken, shutdown began, or another
// range of the same search saw either (`stopped`).
struct PassStop {
  uint64_t generation = 0;
  const std::atomic<bool>* stopped = nullptr;
  bool operator()() const;
};

// Where a range counts its matches for its list's summary.
struct RangeTally {
  const SummaryTally& tally;
  SummaryTally::Part& part;
  const ExtensionTable::CodeEntries& byCode;  // the drive's, made under the pass's hold of its lock
};

// Appends to `matches` the index of every live record in [begin, end) whose name holds the
// scanner's query (every live record when `matchAll`), and counts each in `tally`. False when
// `stop` answered true first. Caller holds the drive's lock shared for the whole call.
bool ScanRecordRange(const VolumeIndex& drive, const NameScanner& scanner, bool matchAll,
                     uint64_t begin, uint64_t end, const PassStop& stop,
                     std::vector<uint32_t>& matches, const RangeTally& tally);

}  // namespace qm
