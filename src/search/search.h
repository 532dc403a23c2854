// The search worker: a typed query becomes the current result list.
//
// StartSearch (window thread) takes the next searchGeneration and starts a detached worker
// that walks the selected drives' records, one drive at a time under its lock held shared,
// collects every live record whose lower-case name contains the folded query, publishes the
// list as currentResults and posts WM_SEARCH_DONE. An empty query (or showRecent) publishes
// the recently opened entries instead, synchronously. A worker overtaken by a newer
// generation, or one that sees shuttingDown, stops without publishing or posting.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "search/results.h"

namespace qm {

// Search workers started and not yet ended (an overtaken worker stops within 1024 records).
// Tells the headless front end whether a search may still post; shutdown waits for every
// worker through base/worker_count.h.
extern std::atomic<int> activeSearchWorkers;

// Window thread only. Returns at once, except that the recent list is built here. When no
// worker thread can be started the request is dropped: nothing is published or posted.
void StartSearch(std::u16string query, bool keepSort, bool showRecent);

// After a change of the recent opens: when the search box is empty, the recent list is shown
// again (StartSearch of the empty query).
void RefreshEmptyQuery(std::u16string_view searchBoxText);

// The worker's body; the request is freed when it returns.
void RunSearch(std::unique_ptr<SearchRequest> request);

// The list shown for an empty query: the live recent opens, most recent first; entries that
// lost their record are looked up again by path. Caller holds resultsMutex.
ResultList BuildRecentResults();

// The live entry whose full path equals `path` after NormalizePath (slashes, A to Z folded).
// A path shorter than 3 units is never found. Takes the DriveList mutex and drive locks
// itself: the caller holds neither.
bool FindRecordByPath(std::u16string_view path, MatchItem* out);

// A path as a user types it: what FindRecordByPath finds, after dropping the separators that
// may end a folder's path ("C:\Docs\"); "C:\" (or "C:/") names the drive's root folder.
bool FindEntryByTypedPath(std::u16string_view path, MatchItem* out);

// The live entry of the record's parent directory on the same drive; false when the record is
// out of range, its parent is unknown, or the parent record is deleted.
bool ParentItem(MatchItem item, MatchItem* parent);

}  // namespace qm
