// The recently opened files and folders: most recent first, at most 100 after any addition,
// shown as the result list whenever the search box is empty, and kept in recent.ini (one
// "stamp<TAB>full path" line per entry, rewritten after every change, read once at start-up).
//
// An entry remembers the record it was opened from and its full path at that moment. Entries
// read from the file have no record until the recent list first resolves them by path
// (BuildRecentResults); an entry whose file has gone stays in the list and the file but is not
// shown.
//
// Everything here runs on the main thread; recentMutex is held around every access to
// recentOpens all the same. Lock order: resultsMutex (when the caller holds it), recentMutex,
// the DriveList mutex, a drive's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/config_system.h"
#include "search/results.h"

namespace qm {

struct RecentEntry {
  MatchItem item;      // volume null for an entry read from the file, until resolved
  uint64_t stamp = 0;  // tick count (ms since the system started) when the entry was added
  std::u16string path;
};

inline constexpr size_t kMaxRecentOpens = 100;

extern std::vector<RecentEntry> recentOpens;  // Under recentMutex; most recent first.
extern std::mutex recentMutex;

// Records an opened entry: drops an earlier entry for the same record or the same path (case
// and slashes aside), puts the new one first, keeps 100, saves recent.ini. An item without a
// drive, or whose record is out of range or deleted, is not added. The caller then refreshes
// the list shown for an empty query. False only when the entry was added but recent.ini could
// not be saved (the window ignores that; the headless front end reports it).
bool AddRecentOpen(ConfigSystem& system, MatchItem item);

// Rewrites recent.ini from recentOpens (the file is replaced in one step; a failed save leaves
// the previous file). False when the save failed.
bool SaveRecentOpens(ConfigSystem& system);

// Reads recent.ini into recentOpens (entries without a record); an unreadable or missing file
// leaves recentOpens as it is. An unreadable one (IsUnreadable) is renamed recent.ini.unreadable
// so that the next save does not destroy it.
void LoadRecentOpens(ConfigSystem& system);

// Empties recentOpens and saves (leaving a file with only the byte-order mark). The caller
// then refreshes the list shown for an empty query. False when the save failed.
bool ClearRecentOpens(ConfigSystem& system);

}  // namespace qm
