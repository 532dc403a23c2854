// The filter-tag view: the list the window draws and acts on. It holds the entries of
// currentResults, in the same order, whose records are not deleted and that the selected
// filter tag accepts (tag 0 accepts every file and directory; any other tag only files whose
// extension it lists).
//
// A tag click (ApplyTagSelection) drops the view and starts a detached filter worker that
// rebuilds it and posts WM_FILTER_DONE; until then the window keeps showing the previous view.
// Whenever the window needs the list and no view for the selected tag exists (and no worker
// builds one), GetDisplayList takes the one the list's worker made with it or builds it on the
// window thread. Every view is a new
// immutable list. filterMutex is never held together with resultsMutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "search/results.h"

namespace qm {

extern std::atomic<int32_t> selectedTag;        // position in filterTags; 0 accepts all
extern std::atomic<uint64_t> filterGeneration;  // raised by every tag click and view reset
extern ResultList filteredResults;              // Under filterMutex; empty: no view
extern std::atomic<int32_t> filteredTag;        // tag of filteredResults; -1: none
extern std::atomic<uint64_t> filteredCount;     // entries in the view (the hit count shown)
extern std::mutex filterMutex;

// Filter workers started and not yet ended.
extern std::atomic<int> activeFilterWorkers;

// Handed to a filter worker, which owns it.
struct RefilterRequest {
  ResultList source;
  uint64_t generation = 0;
};

// The filter worker's body: builds the view of `source` for the selected tag and, while its
// generation is still current, stores it and posts WM_FILTER_DONE.
void RunRefilter(std::unique_ptr<RefilterRequest> request);

// The list to draw and act on (window thread). Never null: an empty list before the first
// publication. When no view exists for the selected tag it stores the one the publishing worker
// made with the list (result_summary.h), or, when that was made for another tag or tag list,
// builds one here.
ResultList GetDisplayList();

// The window accepted a new result list of `totalCount` entries: the view is dropped, the
// count shown is the total until the view is rebuilt, and a filter worker still running on
// the previous list becomes stale.
void ResetFilteredView(uint64_t totalCount);

// The steps of a tag click that do not touch the buttons: raises filterGeneration, stores
// `tag` in selectedTag, drops the view and, when a result list exists, starts a filter
// worker on it. The window's click handler also restyles the buttons.
void ApplyTagSelection(int32_t tag);

}  // namespace qm
