#include "search/content_search.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "app/shutting_down.h"
#include "index/build_path.h"
#include "index/drive_list.h"
#include "platform/clock.h"
#include "platform/file_mapping.h"
#include "platform/text_encoding.h"
#include "search/properties.h"
#include "search/status_text.h"

namespace qm {

namespace {

bool Stale(uint64_t generation) {
  return searchGeneration.load() != generation || ShuttingDown();
}

// What one file is searched for. Everything is prepared before the view is read: the scan
// itself allocates nothing and may be abandoned at any read.
struct ScanTarget {
  std::string_view utf8;
  std::string_view ansi;
  std::string_view wideBytes;  // the wide pattern's little-endian bytes
};

// True when `pattern` occurs in data[0, size) starting at a multiple of `step`.
bool FindBytes(const uint8_t* data, uint64_t size, std::string_view pattern, uint64_t step) {
  const uint64_t length = pattern.size();
  if (length == 0 || length > size) return false;
  const uint8_t first = uint8_t(pattern[0]);
  const uint64_t lastStart = size - length;
  uint64_t at = 0;
  while (at <= lastStart) {
    const void* hit = std::memchr(data + at, first, size_t(lastStart - at + 1));
    if (!hit) return false;
    const uint64_t position = uint64_t(static_cast<const uint8_t*>(hit) - data);
    if (position % step == 0 && std::memcmp(data + position, pattern.data(), length) == 0) {
      return true;
    }
    at = position + 1;
  }
  return false;
}

bool ScanView(const void* context, const uint8_t* data, uint64_t size) {
  const ScanTarget& target = *static_cast<const ScanTarget*>(context);
  if (FindBytes(data, size, target.utf8, 1)) return true;
  if (FindBytes(data, size, target.ansi, 1)) return true;
  // Whole 16-bit units only: a trailing odd byte is not part of any unit.
  return FindBytes(data, size - size % 2, target.wideBytes, 2);
}

}  // namespace

ContentPatterns MakeContentPatterns(std::u16string_view text) {
  ContentPatterns patterns;
  if (text.empty()) return patterns;
  patterns.utf8 = ToUtf8Bytes(text);
  patterns.ansi = ToAnsiBytes(text);
  patterns.wide = std::u16string(text);
  return patterns;
}

bool ContainsText(std::u16string_view fullPath, const ContentPatterns& patterns) {
  MappedFile file;
  if (!file.Open(fullPath)) return false;
  uint64_t size = 0;
  if (!file.Size(&size) || size == 0 || size > kContentSizeLimit) return false;
  if (!file.Map(size)) return false;

  std::string wideBytes;
  wideBytes.reserve(patterns.wide.size() * 2);
  for (char16_t unit : patterns.wide) {
    wideBytes += char(uint8_t(unit & 0xFF));
    wideBytes += char(uint8_t(unit >> 8));
  }
  const ScanTarget target{patterns.utf8, patterns.ansi, wideBytes};
  return ScanMappedView(file, ScanView, &target) == ScanOutcome::kFound;
}

void ScanContentChunk(uint32_t k, ContentRun& run) {
  const ChunkRange share = ChunkOf(k, run.total);
  MatchList matches;
  for (uint64_t i = share.begin; i < share.end; ++i) {
    if (Stale(run.generation)) return;
    const MatchItem& candidate = run.candidates[i];
    if (ContainsText(BuildPath(*candidate.volume, candidate.recordIndex), run.patterns)) {
      matches.push_back(candidate);
    }
    const uint64_t p = run.processed.fetch_add(1) + 1;
    const uint64_t now = CurrentClock().TickCount();
    if (ClaimProgressReport(run.lastReport, p, kContentReportEvery, now)) {
      PostStatusText(run.generation, TextId::kScanProgress, p, run.total);
    }
  }
  if (matches.empty() || Stale(run.generation)) return;
  std::lock_guard guard(run.mergeMutex);
  run.results.insert(run.results.end(), matches.begin(), matches.end());
}

bool RunContentPass(const ParsedQuery& query, uint64_t generation, int32_t driveFilter,
                    MatchList& results) {
  // Drives are not released before shutdown, so the pointers outlive the DriveList mutex.
  std::vector<VolumeIndex*> drives;
  {
    std::lock_guard listGuard(driveList.mutex);
    for (size_t d = 0; d < driveList.entries.size(); ++d)
      if (driveFilter < 0 || size_t(driveFilter) == d) drives.push_back(driveList.entries[d].get());
  }

  MatchList candidates;
  for (VolumeIndex* volume : drives) {
    std::shared_lock guard(volume->lock);
    const uint64_t count = RecordCount(*volume);
    for (uint64_t i = 0; i < count; ++i) {
      if (ShuttingDown()) return false;
      if (i % 1024 == 0 && searchGeneration.load() != generation) return false;
      const FileRecord& record = volume->records[i];
      if (record.deleted || record.isDirectory) continue;
      if (!ExtensionListed(record.name, query.extensions)) continue;
      candidates.push_back({volume, uint32_t(i)});
    }
  }
  if (candidates.empty()) return true;
  if (Stale(generation)) return false;

  const ContentPatterns patterns = MakeContentPatterns(query.text);
  PostStatusText(generation, TextId::kScanStarting, candidates.size());

  ContentRun run(candidates, generation, patterns, results);
  RunOnThreeThreads([&run](uint32_t k) { ScanContentChunk(k, run); });
  return !Stale(generation);
}

}  // namespace qm
