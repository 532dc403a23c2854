#include "search/name_pass.h"

#include <algorithm>

#include "base/shutting_down.h"
#include "search/results.h"

namespace qm {

namespace {

// Records, or units of name text, between two looks at `stop`.
constexpr uint64_t kRecordsPerCheck = 1024;
constexpr size_t kUnitsPerCheck = 16384;
// Records whose names are tested one by one before a range picks how to go on, and the share of
// them (one in kDenseShare) that must match for the rest to be read record by record as well.
constexpr uint64_t kSampleRecords = 2048;
constexpr uint64_t kDenseShare = 16;

// Record by record: for a query with a NUL unit (no name holds one, but the stream below relies
// on it), for a drive whose names do not lie in record order, for the first records of every
// range and for the rest of a range where most names match.
bool ScanRecords(const VolumeIndex& drive, const NameScanner& scanner, bool matchAll,
                 uint64_t begin, uint64_t end, const PassStop& stop, std::vector<uint32_t>& matches,
                 const RangeTally& tally) {
  const NamePool::Reader names(drive.names);
  for (uint64_t start = begin; start < end; start += kRecordsPerCheck) {
    if (stop()) return false;
    const uint64_t blockEnd = std::min(end, start + kRecordsPerCheck);
    const size_t base = matches.size();
    matches.resize(base + (blockEnd - start));
    uint32_t* out = matches.data() + base;
    size_t kept = 0;
    for (uint64_t i = start; i < blockEnd; ++i) {
      const FileRecord& record = drive.records[i];
      // Written whatever the answer and kept when it matches: a branch on the answer would be
      // mispredicted for every other record of a query half the names hold.
      const bool hit = !record.deleted &&
                       (matchAll || scanner.Contains(names.At(record.name), record.nameLength));
      out[kept] = uint32_t(i);
      kept += hit ? 1 : 0;
    }
    // The block's matches counted in a loop of their own, while their records and names are
    // still in the cache: without the name test's branches beside it, the processor overlaps
    // the lookups of one record after another.
    tally.tally.Count(tally.part, drive, tally.byCode, out, kept);
    matches.resize(base + kept);
  }
  return true;
}

// The names of consecutive records lie one behind the other in the pool, each followed by a
// NUL, so a run of records whose names share a chunk is one stretch of text. It is searched
// as a whole and only a hit looks for its record: the records of names without a hit are
// never read. A match never spans two names (the query holds no NUL), and after a hit the
// search goes on behind that record's name, so each record is listed once.
bool ScanNameStream(const VolumeIndex& drive, const NameScanner& scanner, uint64_t begin,
                    uint64_t end, const PassStop& stop, std::vector<uint32_t>& matches) {
  const NamePool& pool = drive.names;
  const int shift = std::countr_zero(pool.chunkSize);
  const size_t queryLength = scanner.query().size();
  auto chunkOf = [shift](uint32_t position) { return uint64_t(position) >> shift; };
  const uint64_t offsetMask = pool.chunkSize - 1;

  auto nameEnd = [&](uint64_t i) {
    const FileRecord& record = drive.records[i];
    return (record.name & offsetMask) + record.nameLength;
  };
  // The first record in [from, to) whose name ends at or after `target` (`to` for none). Name
  // ends grow with the record index, nearly in step with it: a hit in the next name costs a step
  // or two, a hit far ahead a few guesses from the ends' spacing and then a bisection of a few
  // neighbours. Each record read is a cache miss; the records between are not read.
  auto FirstEndingAtOrAfter = [&](uint64_t from, uint64_t to, uint64_t target) {
    if (from >= to || nameEnd(from) >= target) return from;
    if (from + 1 == to || nameEnd(from + 1) >= target) return from + 1;
    uint64_t low = from + 1;  // ends before target
    uint64_t high = to;       // ends at or after target (`to`: taken as ending there)
    uint64_t lowEnd = nameEnd(low);
    uint64_t highEnd = nameEnd(to - 1);
    if (highEnd < target) return to;
    high = to - 1;
    // Guesses while they narrow fast; a skewed stretch (a run of long names) is bisected.
    for (int guesses = 0; high - low > 16 && guesses < 4; ++guesses) {
      const uint64_t span = high - low;
      uint64_t guess = low + (target - lowEnd) * span / (highEnd - lowEnd);
      guess = std::clamp(guess, low + 1, high - 1);
      const uint64_t guessEnd = nameEnd(guess);
      if (guessEnd < target) {
        low = guess;
        lowEnd = guessEnd;
      } else {
        high = guess;
        highEnd = guessEnd;
      }
    }
    while (low + 1 < high) {
      const uint64_t middle = low + (high - low) / 2;
      if (nameEnd(middle) < target) {
        low = middle;
      } else {
        high = middle;
      }
    }
    return high;
  };

  uint64_t j = begin;
  while (j < end) {
    // The run of records from j whose names lie in j's chunk.
    const uint64_t chunk = chunkOf(drive.records[j].name);
    uint64_t low = j + 1, high = end;  // the first record of a later chunk, by bisection
    while (low < high) {
      const uint64_t middle = low + (high - low) / 2;
      if (chunkOf(drive.records[middle].name) == chunk) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    const uint64_t runEnd = low;
    const char16_t* text = pool.chunks[chunk].get();
    const FileRecord& lastRecord = drive.records[runEnd - 1];
    const size_t textEnd = size_t(lastRecord.name & offsetMask) + lastRecord.nameLength;
    size_t from = size_t(drive.records[j].name & offsetMask);
    while (textEnd >= from + queryLength) {
      if (stop()) return false;
      const size_t lastStart = textEnd - queryLength;
      const size_t windowLast = std::min(lastStart, from + kUnitsPerCheck);
      const size_t hit = scanner.Find(text, from, windowLast);
      if (hit == NameScanner::kNone) {
        from = windowLast + 1;
        continue;
      }
      // The record whose name holds the hit: the first whose name ends at or after its end.
      j = FirstEndingAtOrAfter(j, runEnd, hit + queryLength);
      if (j == runEnd) break;
      const FileRecord& record = drive.records[j];
      const size_t nameStart = size_t(record.name & offsetMask);
      if (nameStart > hit) {
        from = hit + 1;  // text that belongs to no record (a name stored without one)
        continue;
      }
      if (!record.deleted) matches.push_back(uint32_t(j));
      from = nameStart + record.nameLength + 1;
      ++j;
    }
    j = runEnd;
  }
  return true;
}

}  // namespace

bool PassStop::operator()() const {
  return searchGeneration.load() != generation || ShuttingDown() ||
         (stopped && stopped->load(std::memory_order_relaxed));
}

bool ScanRecordRange(const VolumeIndex& drive, const NameScanner& scanner, bool matchAll,
                     uint64_t begin, uint64_t end, const PassStop& stop,
                     std::vector<uint32_t>& matches, const RangeTally& tally) {
  const std::u16string_view query = scanner.query();
  const bool stream = !matchAll && drive.namesInRecordOrder && !query.empty() &&
                      query.find(u'\0') == std::u16string_view::npos;
  if (!stream) return ScanRecords(drive, scanner, matchAll, begin, end, stop, matches, tally);
  // For a query most names hold, the stream finds a hit in nearly every name, and reading each
  // record with its name costs less than a search and a record lookup per hit. The range's first
  // records tell which kind of query this is.
  const uint64_t sampleEnd = std::min(end, begin + kSampleRecords);
  const size_t before = matches.size();
  if (!ScanRecords(drive, scanner, false, begin, sampleEnd, stop, matches, tally)) return false;
  if ((matches.size() - before) * kDenseShare > sampleEnd - begin)
    return ScanRecords(drive, scanner, false, sampleEnd, end, stop, matches, tally);
  // The stream's matches are few and far apart: counted once the range is done.
  const size_t streamed = matches.size();
  if (!ScanNameStream(drive, scanner, sampleEnd, end, stop, matches)) return false;
  tally.tally.Count(tally.part, drive, tally.byCode, matches.data() + streamed,
                    matches.size() - streamed);
  return true;
}

}  // namespace qm
