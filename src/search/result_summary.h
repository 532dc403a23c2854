// What the window shows about a result list besides its rows: the hit count of every filter tag
// (written into the tag buttons) and the filter-tag view of the list for the selected tag. Both
// need every entry's record (its extension's code; the name only for a record without one),
// millions of entries after a common query, so the worker that publishes the list makes them
// (the name pass counts its matches as it finds them; other lists take a pass of their own) and
// publishes them with it; the window only reads them.
//
// Published together with currentResults, under resultsMutex, by every publisher: the search
// worker, the sort worker (same counts, the view in the new order) and the recent list of an
// empty query. A summary is immutable once made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "config/filter_tags.h"
#include "search/extension_table.h"
#include "search/list_order.h"
#include "search/results.h"

namespace qm {

struct ResultSummary {
  ResultList list;                  // the list summarised; never null
  FilterTagsSnapshot tags;          // the tags counted (the snapshot the worker took)
  std::vector<uint64_t> tagCounts;  // one per tag of `tags`
  int32_t viewTag = 0;              // selectedTag when the summary was made
  ResultList view;                  // the filter-tag view of `list` for viewTag; never null
};
using SummaryPtr = std::shared_ptr<const ResultSummary>;

// The summary published with currentResults. Under resultsMutex.
extern SummaryPtr currentSummary;

// The hit counts and the view of `list`, in one pass:
// - tag 0 counts every entry (directories, deleted records and entries without a record
//   included); any other tag counts the entries whose record exists, is neither a directory
//   nor deleted, and whose name's extension the tag lists (ExtensionListed);
// - the view holds, in list order, the entries the filter rule keeps for `viewTag` (the record
//   exists and TagAccepts it); it is `list` itself, not a copy, when every entry is kept.
// Each drive's lock is taken shared once per block of entries; a long list is summarised in
// contiguous parts on the shared pool, all ended before this returns. `stop` is asked before
// every block, from the pool's threads at once; when it answers true the pass ends and nothing
// is returned. Caller holds no drive lock.
SummaryPtr SummarizeResults(ResultList list, FilterTagsSnapshot tags, int32_t viewTag,
                            const std::function<bool()>& stop);

// A summary counted while its list is made: the name pass counts each match as it finds it,
// with the record and its name at hand, so the list is not read a second time. It gives what
// SummarizeResults gives for the finished list (the pass lists live records only).
class SummaryTally {
 public:
  SummaryTally(FilterTagsSnapshot tags, int32_t viewTag);

  // What one thread counts over one range of a drive.
  struct Part {
    std::vector<uint64_t> entryCounts;  // live files by the entry of their extension (0: none),
                                        // in kLanes lanes
    std::vector<uint32_t> kept;         // records the view keeps, in order; unused by KeepsAll
  };
  Part NewPart() const;
  // The view is the whole list (the first tag is selected).
  bool KeepsAll() const { return viewPosition_ == 0; }

  // The entries of the extensions `drive` numbers, for Count. Caller holds the drive's lock
  // shared.
  void EntriesOfCodes(const VolumeIndex& drive, ExtensionTable::CodeEntries& out) const {
    table_.EntriesOfCodes(drive.extensions, out);
  }
  // Counts the records `indices[0, n)` of `drive`, live records of the list, in list order;
  // `byCode` is what EntriesOfCodes made of the drive under the same hold of its lock. Caller
  // holds the drive's lock shared.
  void Count(Part& part, const VolumeIndex& drive, const ExtensionTable::CodeEntries& byCode,
             const uint32_t* indices, size_t n) const;

  // Adds a finished part's counts (one thread at a time).
  void Add(const Part& part);
  // The summary of `list`, every part of it added; `view` holds the entries the parts kept
  // when the view does not keep all.
  SummaryPtr Finish(ResultList list, ResultList view) const;

 private:
  FilterTagsSnapshot tags_;
  int32_t viewTag_;
  size_t viewPosition_;
  ExtensionTable table_;
  std::vector<uint8_t> keeps_;    // by entry: whether the view keeps a live file
  std::vector<uint64_t> counts_;  // by tag
  // Counters per entry, taken in turn from one record to the next: an increment of the counter
  // the previous record incremented would wait for it.
  static constexpr size_t kLanes = 4;
};

// The summary of `sorted`, which is `previous.list` in the order `order` found (read backwards
// when not `ascending`): the counts stay, as a new order changes none, and the view holds in
// the new order the entries the previous view kept whose records the sort found live. Null
// when `stop` answered true first.
SummaryPtr ReorderSummary(const ResultSummary& previous, ResultList sorted, const ListOrder& order,
                          bool ascending, SortStop& stop);

// SummarizeResults for a list that is being published now: the current filter tags and the
// selected tag; stops when `generation` is overtaken or shutdown begins.
SummaryPtr SummarizeForPublication(ResultList list, uint64_t generation);

// The summary of the published list (window thread): the one published with it, or, for a list
// published without one, one made here. Nothing before the first publication.
SummaryPtr CurrentSummary();

// The count for tag button `tag`: 0 without a summary or for a position beyond its counts.
uint64_t TagCountOf(const ResultSummary* summary, size_t tag);

}  // namespace qm
