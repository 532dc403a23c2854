#include "search/filter_view.h"

#include <shared_mutex>
#include <utility>
#include <vector>

#include "base/main_window.h"
#include "base/window_messages.h"
#include "base/worker_count.h"
#include "config/filter_tags.h"
#include "search/query.h"
#include "search/result_summary.h"

namespace qm {

std::atomic<int32_t> selectedTag{0};
std::atomic<uint64_t> filterGeneration{0};
ResultList filteredResults;
std::atomic<int32_t> filteredTag{-1};
std::atomic<uint64_t> filteredCount{0};
std::mutex filterMutex;
std::atomic<int> activeFilterWorkers{0};

namespace {

// The view shown while a filter worker builds the one for a newly clicked tag: the previous
// tag's view stays on screen for those moments instead of the window building the new view
// itself (a walk of millions of entries on the window thread). Under filterMutex; dropped
// when the worker stores its view, when a new result list is accepted, and when no worker
// could be started (the window then builds the view on demand).
ResultList interimView;

}  // namespace

void RunRefilter(std::unique_ptr<RefilterRequest> request) {
  const uint64_t generation = request->generation;
  const int32_t tag = selectedTag.load();
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  if (!request->source) return;
  // The view is the one a summary makes (the same rule, the same pass on the shared pool).
  const SummaryPtr summary = SummarizeResults(std::move(request->source), tags, tag, [generation] {
    return filterGeneration.load() != generation || ShuttingDown();
  });
  if (!summary) return;
  ResultList view = summary->view;
  {
    // Checked under the mutex: a reset for a newer result list raises the generation before
    // it takes the mutex, so a view of an older list is never stored after it.
    std::lock_guard guard(filterMutex);
    if (filterGeneration.load() != generation) return;
    filteredCount.store(view->size());
    filteredResults = std::move(view);
    filteredTag.store(tag);
    interimView.reset();
  }
  if (filterGeneration.load() == generation) PostToMainWindow(WM_FILTER_DONE, 0, 0);
}

ResultList GetDisplayList() {
  ResultList results;
  SummaryPtr summary;
  {
    std::lock_guard guard(resultsMutex);
    results = currentResults;
    summary = currentSummary;
  }
  if (!results) return std::make_shared<const MatchList>();

  std::lock_guard guard(filterMutex);
  const int32_t tag = selectedTag.load();
  if (filteredResults && filteredTag.load() == tag) return filteredResults;
  if (interimView) return interimView;
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  ResultList view;
  if (summary && summary->list == results && summary->viewTag == tag && summary->tags == tags) {
    // The worker that published the list made this view already: the window does not walk a
    // list of millions of entries again.
    view = summary->view;
  } else {
    view = SummarizeResults(results, tags, tag, [] { return false; })->view;
  }
  filteredCount.store(view->size());
  filteredResults = std::move(view);
  filteredTag.store(tag);
  return filteredResults;
}

void ResetFilteredView(uint64_t totalCount) {
  filterGeneration.fetch_add(1);
  std::lock_guard guard(filterMutex);
  filteredResults.reset();
  interimView.reset();
  filteredTag.store(-1);
  filteredCount.store(totalCount);
}

void ApplyTagSelection(int32_t tag) {
  const uint64_t generation = filterGeneration.fetch_add(1) + 1;
  selectedTag.store(tag);
  {
    std::lock_guard guard(filterMutex);
    // A second click while the first click's worker runs keeps the view still on screen.
    if (filteredResults) interimView = std::move(filteredResults);
  }
  ResultList results;
  {
    std::lock_guard guard(resultsMutex);
    results = currentResults;
  }
  if (!results) return;
  auto request = std::make_unique<RefilterRequest>(RefilterRequest{std::move(results), generation});
  activeFilterWorkers.fetch_add(1);
  const bool started = StartWorker([request = std::move(request)]() mutable {
    RunRefilter(std::move(request));
    activeFilterWorkers.fetch_sub(1);
  });
  // No thread (or shutdown has begun): the view is built on demand by GetDisplayList instead.
  if (!started) {
    activeFilterWorkers.fetch_sub(1);
    std::lock_guard guard(filterMutex);
    interimView.reset();
  }
}

}  // namespace qm
