#include "search/content_search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "base/shutting_down.h"
#include "index/build_path.h"
#include "index/drive_list.h"
#include "platform/clock.h"
#include "platform/file_mapping.h"
#include "platform/text_encoding.h"
#include "search/properties.h"
#include "search/status_text.h"

namespace qm {

namespace {

// One byte image of the text, ready to be looked for. Prepared before the view is read: the
// scan itself allocates nothing and may be abandoned at any read.
class BytePattern {
 public:
  // `step` 2 accepts only matches at even offsets (whole 16-bit units).
  BytePattern(std::string_view bytes, uint64_t step)
      : bytes_(bytes), step_(step), searcher_(Begin(), Begin() + bytes.size()) {}

  bool empty() const { return bytes_.empty(); }
  bool operator==(const BytePattern& other) const {
    return bytes_ == other.bytes_ && step_ == other.step_;
  }

  // True when the pattern occurs in data[0, size).
  bool FoundIn(const uint8_t* data, uint64_t size) const {
    const uint64_t length = bytes_.size();
    if (length == 0 || length > size) return false;
    const uint8_t* const end = data + size;
    for (const uint8_t* at = data;;) {
      const uint8_t* hit = Next(at, end);
      if (hit == end) return false;
      if (uint64_t(hit - data) % step_ == 0) return true;
      at = hit + 1;
    }
  }

 private:
  // Short patterns: memchr for the first byte, then the rest; longer ones skip ahead with
  // Boyer-Moore-Horspool, which reads a fraction of the bytes when the first byte is common.
  static constexpr size_t kSkipFrom = 4;

  const uint8_t* Begin() const { return reinterpret_cast<const uint8_t*>(bytes_.data()); }

  const uint8_t* Next(const uint8_t* at, const uint8_t* end) const {
    const uint64_t length = bytes_.size();
    if (length >= kSkipFrom) return std::search(at, end, searcher_);
    while (uint64_t(end - at) >= length) {
      const void* hit = std::memchr(at, bytes_[0], size_t(end - at) - length + 1);
      if (!hit) return end;
      const uint8_t* position = static_cast<const uint8_t*>(hit);
      if (std::memcmp(position, bytes_.data(), length) == 0) return position;
      at = position + 1;
    }
    return end;
  }

  std::string_view bytes_;
  uint64_t step_;
  std::boyer_moore_horspool_searcher<const uint8_t*> searcher_;
};

// What one file is searched for: the text in UTF-8, in the ANSI code page and as UTF-16LE.
struct ScanTarget {
  BytePattern utf8;
  BytePattern ansi;
  BytePattern wide;
};

bool ScanView(const void* context, const uint8_t* data, uint64_t size) {
  const ScanTarget& target = *static_cast<const ScanTarget*>(context);
  if (target.utf8.FoundIn(data, size)) return true;
  // Text the two encodings write alike (ASCII, mostly) is not looked for twice.
  if (!(target.ansi == target.utf8) && target.ansi.FoundIn(data, size)) return true;
  // Whole 16-bit units only: a trailing odd byte is not part of any unit.
  return target.wide.FoundIn(data, size - size % 2);
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
  const ScanTarget target{BytePattern(patterns.utf8, 1), BytePattern(patterns.ansi, 1),
                          BytePattern(wideBytes, 2)};
  return ScanMappedView(file, ScanView, &target) == ScanOutcome::kFound;
}

void ScanContentChunk(uint32_t k, ContentRun& run) {
  const ChunkRange share = ChunkOf(k, run.total);
  MatchList matches;
  for (uint64_t i = share.begin; i < share.end; ++i) {
    if (IsStale(run.generation)) return;
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
  if (matches.empty() || IsStale(run.generation)) return;
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
      if (!ExtensionListed(RecordName(*volume, record), query.extensions)) continue;
      candidates.push_back({volume, uint32_t(i)});
    }
  }
  if (candidates.empty()) return true;
  if (IsStale(generation)) return false;

  const ContentPatterns patterns = MakeContentPatterns(query.text);
  PostStatusText(generation, TextId::kScanStarting, candidates.size());

  ContentRun run(candidates, generation, patterns, results);
  RunOnThreeThreads([&run](uint32_t k) { ScanContentChunk(k, run); });
  return !IsStale(generation);
}

}  // namespace qm
