// The content pass of a search: candidates chosen by extension, then three threads look for
// the query's text inside each candidate file in UTF-8, the ANSI code page and UTF-16.
#pragma once

#include <cstdint>
#include <vector>

#include "search/query.h"
#include "search/results.h"

namespace qm {

// Runs the content pass of request generation `generation` over the drives `driveFilter`
// selects (-1: every drive; k: the k-th drive of the DriveList), appending matches to
// `results`. Returns false when the search was stopped (a newer generation or shutdown): the
// caller then publishes nothing.
bool RunContentPass(const ParsedQuery& query, uint64_t generation, int32_t driveFilter,
                    std::vector<MatchItem>& results);

}  // namespace qm
