// The content pass of a search: candidates chosen by extension, then three threads look for
// the query's text inside each candidate file in UTF-8, the ANSI code page and UTF-16.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "search/query.h"
#include "search/results.h"

namespace qm {

// Larger files are never scanned (50 MiB; a file of exactly this size is).
inline constexpr uint64_t kContentSizeLimit = 52428800;

// Progress is posted at most every this many files (and at most once per 100 ms).
inline constexpr uint64_t kContentReportEvery = 5;

// The query's text in the three byte images a file may hold it in. The case the user typed is
// kept; an empty text gives three empty patterns.
struct ContentPatterns {
  std::string utf8;
  std::string ansi;     // the system's ANSI code page; unrepresentable characters become its
                        // default character
  std::u16string wide;  // looked for as little-endian units at even byte offsets
};

ContentPatterns MakeContentPatterns(std::u16string_view text);

// True when the file at `fullPath` holds one of the patterns. A file that cannot be opened,
// sized or mapped, is empty, is larger than kContentSizeLimit, or faults while it is read (it
// shrank under the mapping) does not match.
bool ContainsText(std::u16string_view fullPath, const ContentPatterns& patterns);

// One scan run, shared by its three threads.
struct ContentRun {
  ContentRun(const MatchList& runCandidates, uint64_t runGeneration,
             const ContentPatterns& runPatterns, MatchList& runResults)
      : candidates(runCandidates),
        total(runCandidates.size()),
        chunk((runCandidates.size() + 2) / 3),
        generation(runGeneration),
        patterns(runPatterns),
        results(runResults) {}

  const MatchList& candidates;
  const uint64_t total;
  const uint64_t chunk;
  const uint64_t generation;
  const ContentPatterns& patterns;
  std::atomic<uint64_t> processed{0};
  std::atomic<uint64_t> lastReport{0};  // tick count of the last progress message
  std::mutex mergeMutex;
  MatchList& results;  // Under mergeMutex while the threads run.
};

// Thread k's body (k = 0, 1 or 2): scans its contiguous third of the candidates and appends its
// matches to the run's results at the end, unless the run went stale meanwhile.
void ScanContentChunk(uint32_t k, ContentRun& run);

// Runs the content pass of request generation `generation` over the drives `driveFilter`
// selects (-1: every drive; k >= 0: the drive at DriveList position k, from 0), appending matches
// to `results`. Returns false when the search was stopped (a newer generation or shutdown): the
// caller then publishes nothing.
bool RunContentPass(const ParsedQuery& query, uint64_t generation, int32_t driveFilter,
                    MatchList& results);

}  // namespace qm
