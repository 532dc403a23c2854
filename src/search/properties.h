// Sizes and times of indexed entries: read from the file system by full path, one query per
// file, and kept in the drive's property cache keyed by the record's frn. The sort fills the
// cache for a whole result list beforehand with three threads, reporting progress in the title.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "index/volume_index.h"
#include "search/results.h"

namespace qm {

// Progress is posted at most every this many entries ...
inline constexpr uint64_t kPropertiesReportEvery = 500;
// ... and only when more than this many milliseconds passed since the last report.
inline constexpr int64_t kReportIntervalMs = 100;

// `info` must come in zero-initialised. On return it holds the cached values or freshly read
// ones (now cached, `valid` set; zeros when the file could not be queried), or stays as it was
// when `recordIndex` is out of range. Any thread; the caller holds none of the drive's locks.
void GetProperties(VolumeIndex& volume, uint64_t recordIndex, PropertyInfo* info);

// One extraction run over a sort worker's private copy of a result list.
struct PropertyRun {
  PropertyRun(const MatchList& runEntries, uint64_t runGeneration)
      : entries(runEntries),
        total(runEntries.size()),
        chunk((runEntries.size() + 2) / 3),
        generation(runGeneration) {}

  const MatchList& entries;
  const uint64_t total;
  const uint64_t chunk;  // entries per thread; the last share may be shorter or empty
  const uint64_t generation;
  std::atomic<uint64_t> processed{0};
  std::atomic<uint64_t> lastReport{0};  // tick count of the last progress message
};

// Thread k's share of n entries: [begin, end), the k-th contiguous third ((n + 2) / 3 each).
struct ChunkRange {
  uint64_t begin;
  uint64_t end;
};
constexpr ChunkRange ChunkOf(uint32_t k, uint64_t total) {
  const uint64_t chunk = (total + 2) / 3;
  const uint64_t begin = k * chunk < total ? k * chunk : total;
  const uint64_t end = (k + 1) * chunk < total ? (k + 1) * chunk : total;
  return {begin, end};
}

// Thread k's body (k = 0, 1 or 2): fills the cache for its share, stopping as soon as the run's
// generation is overtaken or shutdown begins.
void ExtractPropertiesChunk(uint32_t k, PropertyRun& run);

// Runs body(0), body(1) and body(2) on three threads, started and waited for in that order. A
// thread that cannot be started has its share run on the calling thread instead.
void RunOnThreeThreads(const std::function<void(uint32_t k)>& body);

// Runs the three extraction threads over `entries` and waits for them, in the order started.
void ExtractProperties(const MatchList& entries, uint64_t generation);

// Whether a progress message is due after an entry: p (the entries finished so far) is a
// multiple of `every`, more than kReportIntervalMs passed since `lastReport`, and this caller
// wins the compare-and-exchange that moves `lastReport` to `now` (one winner per interval).
bool ClaimProgressReport(std::atomic<uint64_t>& lastReport, uint64_t p, uint64_t every,
                         uint64_t now);

}  // namespace qm
