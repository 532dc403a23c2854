#include "search/properties.h"

#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <thread>

#include "base/shutting_down.h"
#include "index/build_path.h"
#include "platform/clock.h"
#include "platform/file_attributes.h"
#include "search/status_text.h"

namespace qm {

void GetProperties(VolumeIndex& volume, uint64_t recordIndex, PropertyInfo* info) {
  uint64_t frn;
  {
    std::shared_lock guard(volume.lock);
    if (recordIndex >= RecordCount(volume)) return;
    frn = volume.records[recordIndex].frn;
  }
  if (LookupProperties(volume, frn, info)) return;

  PropertyInfo fresh;
  FileAttributeData data;
  if (CurrentFileAttributes().QueryAttributes(BuildPath(volume, recordIndex), &data)) {
    fresh.size = int64_t((uint64_t(data.fileSizeHigh) << 32) | data.fileSizeLow);
    fresh.lastWriteTime = data.lastWriteTime;
    fresh.creationTime = data.creationTime;
  }
  fresh.valid = true;
  StoreProperties(volume, frn, fresh);
  *info = fresh;
}

bool ClaimProgressReport(std::atomic<uint64_t>& lastReport, uint64_t p, uint64_t every,
                         uint64_t now) {
  uint64_t last = lastReport.load();
  if (int64_t(now - last) <= kReportIntervalMs) return false;
  if (p % every != 0) return false;
  return lastReport.compare_exchange_strong(last, now);
}

void ExtractPropertiesChunk(uint32_t k, PropertyRun& run) {
  const ChunkRange share = ChunkOf(k, run.total);
  for (uint64_t i = share.begin; i < share.end; ++i) {
    if (IsStale(run.generation)) return;
    const MatchItem& entry = run.entries[i];
    PropertyInfo info;
    GetProperties(*entry.volume, entry.recordIndex, &info);
    const uint64_t p = run.processed.fetch_add(1) + 1;
    const uint64_t now = CurrentClock().TickCount();
    if (ClaimProgressReport(run.lastReport, p, kPropertiesReportEvery, now)) {
      PostStatusText(run.generation, TextId::kPropertiesProgress, p, run.total);
    }
  }
}

void RunOnThreeThreads(const std::function<void(uint32_t k)>& body) {
  std::thread threads[3];
  for (uint32_t k = 0; k < 3; ++k) {
    try {
      threads[k] = std::thread(body, k);
    } catch (const std::system_error&) {
      body(k);  // no thread to be had: this share runs here, the result is the same
    }
  }
  for (std::thread& thread : threads)
    if (thread.joinable()) thread.join();
}

void ExtractProperties(const MatchList& entries, uint64_t generation) {
  PropertyRun run(entries, generation);
  RunOnThreeThreads([&run](uint32_t k) { ExtractPropertiesChunk(k, run); });
}

}  // namespace qm
