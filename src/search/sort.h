// Sorting the result list by a column: the worker copies the published list, fills the property
// cache when the column needs sizes or times, sorts the copy and publishes it as the new list
// (WM_SEARCH_DONE with lParam 1: same results, new order). A sort takes a search generation,
// so a sort and any later search or sort make each other stale.
#pragma once

#include <cstdint>

#include "search/results.h"

namespace qm {

// Column codes, in the order of the list's columns.
inline constexpr int32_t kColumnNumber = 0;  // "#": not sortable
inline constexpr int32_t kColumnName = 1;
inline constexpr int32_t kColumnSize = 2;
inline constexpr int32_t kColumnModified = 3;
inline constexpr int32_t kColumnCreated = 4;
inline constexpr int32_t kColumnPath = 5;

// Handed to the sort worker, which owns it.
struct SortRequest {
  uint64_t generation = 0;
  uint32_t column = 0;
  bool ascending = true;
};

// A click on column title `column` (window thread): nothing for "#" (or a code that names no
// column); otherwise the same column again flips the direction and another column sorts
// ascending, then a detached worker runs the sort. True when a worker was started (the window
// then repaints its header).
bool RequestSort(int32_t column);

// The sort worker's body. Publishes nothing and posts nothing when the list is empty, when the
// request's generation is overtaken or when shutdown begins.
void RunSort(const SortRequest& request);

// True when `a` comes before `b` in the order of `column` and direction: names and paths
// compared with A to Z folded, unit by unit; Size puts directories first (ascending) or last
// (descending), then the cached size; Modified and Created compare the cached file times. An
// entry without a cached entry counts as 0; other columns make every entry equal. Takes each
// entry's drive lock shared itself: the caller must hold none.
bool CompareItems(const MatchItem& a, const MatchItem& b, uint32_t column, bool ascending);

}  // namespace qm
