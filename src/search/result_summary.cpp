#include "search/result_summary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>

#include "base/fold_case.h"
#include "base/thread_pool.h"
#include "search/filter_view.h"

namespace qm {

SummaryPtr currentSummary;

namespace {

// Entries per block: the stop test and the drive locks are taken once per block.
constexpr size_t kBlockEntries = 1024;
// Lists at least this long are summarised in parts on the shared pool, this many entries a
// part at least.
constexpr size_t kPartEntries = 65536;
constexpr size_t kMaxParts = 64;

// A position the tag list has; any other (negative, beyond the end) is the first tag's.
size_t EffectivePosition(int32_t tag, size_t count) {
  return tag < 0 ? 0 : EffectiveTagIndex(size_t(tag), count);
}

// How far ahead of the entry being read its successors' records (and, for a record without an
// extension code, its name) are fetched: in a sorted list they lie anywhere on the drive, and
// each would otherwise wait for memory.
constexpr size_t kRecordsAhead = 16;
constexpr size_t kNamesAhead = 8;

// Starts fetching the record of entry `i + kRecordsAhead` and the name end of entry
// `i + kNamesAhead` when they lie on the drive whose lock is held.
void FetchAhead(const MatchList& items, size_t i, size_t end, const VolumeIndex* locked,
                uint64_t recordCount) {
  if (i + kRecordsAhead < end) {
    const MatchItem& ahead = items[i + kRecordsAhead];
    if (ahead.volume == locked && ahead.recordIndex < recordCount)
      __builtin_prefetch(&locked->records[ahead.recordIndex]);
  }
  if (i + kNamesAhead < end) {
    const MatchItem& ahead = items[i + kNamesAhead];
    if (ahead.volume == locked && ahead.recordIndex < recordCount) {
      const FileRecord& record = locked->records[ahead.recordIndex];
      if (record.extension == ExtensionCodes::kUncoded)
        __builtin_prefetch(locked->names.At(record.name) + record.nameLength);
    }
  }
}

// The entry of a record's extension when the record is a live file; 0 for a folder or a deleted
// record. Found by the record's extension code (a folder's is the empty extension's, entry 0), or
// by its name when it has none; looked up whatever the record is: cheaper than a branch on each
// answer.
uint32_t FileEntry(const ExtensionTable& table, const ExtensionTable::CodeEntries& byCode,
                   const FileRecord& record, const NamePool& names) {
  uint32_t entry = byCode[record.extension];
  if (entry == ExtensionTable::kByName)
    entry = table.EntryOf(names.At(record.name), record.nameLength);
  const uint32_t liveFile = uint32_t((record.deleted | record.isDirectory) == 0);
  return entry & (0u - liveFile);
}

// The code entries of the drives a part of a list meets, made once per drive (again when the
// drive has numbered more extensions since: those would be looked up by name).
class DriveCodeEntries {
 public:
  explicit DriveCodeEntries(const ExtensionTable& table) : table_(table) {}
  // Caller holds the drive's lock shared; the reference holds until the next call.
  const ExtensionTable::CodeEntries& For(const VolumeIndex& drive) {
    auto made =
        std::find_if(made_.begin(), made_.end(), [&](const Made& m) { return m.drive == &drive; });
    if (made == made_.end()) made = made_.insert(made_.end(), Made{&drive});
    if (made->codes != drive.extensions.size()) {
      table_.EntriesOfCodes(drive.extensions, made->entries);
      made->codes = drive.extensions.size();
    }
    return made->entries;
  }

 private:
  struct Made {
    const VolumeIndex* drive = nullptr;
    size_t codes = 0;
    ExtensionTable::CodeEntries entries{};
  };
  const ExtensionTable& table_;
  std::vector<Made> made_;
};

// Whether the view for the tag at `viewPosition` keeps a live file, by the entry of its
// extension.
std::vector<uint8_t> KeepsByEntry(const ExtensionTable& table, size_t viewPosition) {
  std::vector<uint8_t> keeps(table.entries());
  for (uint32_t e = 0; e < keeps.size(); ++e) {
    keeps[e] = viewPosition == 0 || (e != 0 && table.Lists(e, viewPosition));
  }
  return keeps;
}

// Every tag's count from the counts of the extensions it lists.
void AddEntryCounts(const ExtensionTable& table, const std::vector<uint64_t>& entryCounts,
                    std::vector<uint64_t>& counts) {
  for (uint32_t e = 1; e < entryCounts.size(); ++e) {
    if (entryCounts[e] == 0) continue;
    const uint64_t* mask = table.Mask(e);
    for (size_t w = 0; w < table.words(); ++w) {
      for (uint64_t bits = mask[w]; bits != 0; bits &= bits - 1) {
        counts[w * 64 + size_t(std::countr_zero(bits))] += entryCounts[e];
      }
    }
  }
}

// One contiguous part of a list, summarised by one thread.
struct PartSummary {
  size_t begin = 0;
  size_t end = 0;
  std::vector<uint64_t> entryCounts;  // live files by the entry of their extension (0: none)
  // The view of this part: while nothing has been left out, the part itself (not copied);
  // after that, `kept`.
  bool copying = false;
  MatchList kept;
  bool stopped = false;
};

// Room for the whole part at once: a copy that grows step by step would copy itself, up to
// hundreds of megabytes in one step that cannot stop.
void StartCopy(PartSummary& part) {
  part.copying = true;
  part.kept.reserve(part.end - part.begin);
}

void SummarizePart(const MatchList& items, const ExtensionTable& table, size_t viewPosition,
                   const std::function<bool()>& stop, PartSummary& part) {
  const std::vector<uint8_t> keeps = KeepsByEntry(table, viewPosition);
  part.entryCounts.assign(table.entries(), 0);
  if (viewPosition != 0) StartCopy(part);
  DriveCodeEntries codeEntries(table);
  const ExtensionTable::CodeEntries* byCode = nullptr;
  for (size_t start = part.begin; start < part.end; start += kBlockEntries) {
    if (stop()) {
      part.stopped = true;
      return;
    }
    const size_t end = std::min(part.end, start + kBlockEntries);
    std::shared_lock<SharedMutex> guard;
    const VolumeIndex* locked = nullptr;
    uint64_t recordCount = 0;
    for (size_t i = start; i < end; ++i) {
      const MatchItem& item = items[i];
      bool keep = false;
      if (item.volume) {
        if (item.volume != locked) {
          // One drive lock at a time: the previous one goes first.
          if (guard.owns_lock()) guard.unlock();
          guard = std::shared_lock(item.volume->lock);
          locked = item.volume;
          recordCount = RecordCount(*locked);
          byCode = &codeEntries.For(*locked);
        }
        FetchAhead(items, i, end, locked, recordCount);
        if (item.recordIndex < recordCount) {
          const FileRecord& record = locked->records[item.recordIndex];
          const uint32_t entry = FileEntry(table, *byCode, record, locked->names);
          ++part.entryCounts[entry];
          keep = (record.deleted == 0) & (keeps[entry] != 0);
        }
      }
      if (part.copying) {
        if (keep) part.kept.push_back(item);
      } else if (!keep) {
        StartCopy(part);
        part.kept.assign(items.begin() + ptrdiff_t(part.begin), items.begin() + ptrdiff_t(i));
      }
    }
  }
}

}  // namespace

SummaryPtr SummarizeResults(ResultList list, FilterTagsSnapshot tags, int32_t viewTag,
                            const std::function<bool()>& stop) {
  if (!list) list = std::make_shared<const MatchList>();
  if (!tags) tags = std::make_shared<const FilterTagList>();
  const MatchList& items = *list;
  const FilterTagList& tagList = *tags;
  const size_t viewPosition = EffectivePosition(viewTag, tagList.size());
  const ExtensionTable table(tagList);

  // A long list is summarised in contiguous parts on the shared pool, a short one here.
  const size_t partCount = std::clamp<size_t>(items.size() / kPartEntries, 1, kMaxParts);
  std::vector<PartSummary> parts(partCount);
  const size_t partSize = (items.size() + partCount - 1) / partCount;
  for (size_t k = 0; k < partCount; ++k) {
    parts[k].begin = std::min(items.size(), k * partSize);
    parts[k].end = std::min(items.size(), (k + 1) * partSize);
  }
  SharedPool().ParallelFor(
      partCount, [&](size_t k) { SummarizePart(items, table, viewPosition, stop, parts[k]); });

  std::vector<uint64_t> counts(tagList.size(), 0);
  size_t keptCount = 0;
  for (size_t k = 0; k < partCount; ++k) {
    const PartSummary& part = parts[k];
    if (part.stopped) return nullptr;
    AddEntryCounts(table, part.entryCounts, counts);
    keptCount += part.copying ? part.kept.size() : part.end - part.begin;
  }
  if (!counts.empty()) counts[0] = items.size();

  auto summary = std::make_shared<ResultSummary>();
  if (keptCount == items.size()) {
    summary->view = list;  // every entry kept: the list itself
  } else {
    MatchList view;
    view.reserve(keptCount);
    for (size_t k = 0; k < partCount; ++k) {
      const PartSummary& part = parts[k];
      if (part.copying) {
        view.insert(view.end(), part.kept.begin(), part.kept.end());
      } else {
        view.insert(view.end(), items.begin() + ptrdiff_t(part.begin),
                    items.begin() + ptrdiff_t(part.end));
      }
    }
    summary->view = std::make_shared<const MatchList>(std::move(view));
  }
  summary->list = std::move(list);
  summary->tags = std::move(tags);
  summary->tagCounts = std::move(counts);
  summary->viewTag = viewTag;
  return summary;
}

SummaryTally::SummaryTally(FilterTagsSnapshot tags, int32_t viewTag)
    : tags_(tags ? std::move(tags) : std::make_shared<const FilterTagList>()),
      viewTag_(viewTag),
      viewPosition_(EffectivePosition(viewTag, tags_->size())),
      table_(*tags_),
      keeps_(KeepsByEntry(table_, viewPosition_)),
      counts_(tags_->size(), 0) {}

SummaryTally::Part SummaryTally::NewPart() const {
  return Part{std::vector<uint64_t>(table_.entries() * kLanes, 0), {}};
}

void SummaryTally::Count(Part& part, const VolumeIndex& drive,
                         const ExtensionTable::CodeEntries& byCode, const uint32_t* indices,
                         size_t n) const {
  uint64_t* lanes = part.entryCounts.data();
  auto entryOf = [&](uint32_t index) {
    return FileEntry(table_, byCode, drive.records[index], drive.names);
  };
  if (KeepsAll()) {
    for (size_t k = 0; k < n; ++k) ++lanes[entryOf(indices[k]) * kLanes + k % kLanes];
    return;
  }
  for (size_t k = 0; k < n; ++k) {
    const uint32_t entry = entryOf(indices[k]);
    ++lanes[entry * kLanes + k % kLanes];
    if (keeps_[entry]) part.kept.push_back(indices[k]);
  }
}

void SummaryTally::Add(const Part& part) {
  std::vector<uint64_t> entryCounts(table_.entries(), 0);
  for (size_t i = 0; i < part.entryCounts.size(); ++i)
    entryCounts[i / kLanes] += part.entryCounts[i];
  AddEntryCounts(table_, entryCounts, counts_);
}

SummaryPtr SummaryTally::Finish(ResultList list, ResultList view) const {
  if (!list) list = std::make_shared<const MatchList>();
  auto summary = std::make_shared<ResultSummary>();
  summary->tagCounts = counts_;
  if (!summary->tagCounts.empty()) summary->tagCounts[0] = list->size();
  // Every entry kept: the list itself, as SummarizeResults gives it.
  summary->view = KeepsAll() || !view || view->size() == list->size() ? list : std::move(view);
  summary->list = std::move(list);
  summary->tags = tags_;
  summary->viewTag = viewTag_;
  return summary;
}

SummaryPtr ReorderSummary(const ResultSummary& previous, ResultList sorted, const ListOrder& order,
                          bool ascending, SortStop& stop) {
  const MatchList& before = *previous.list;
  const size_t n = order.positions.size();
  // The positions the previous view kept: the view is the list itself or a part of it in its
  // order, so one walk along both finds them.
  std::vector<uint8_t, LargeBlockAllocator<uint8_t>> kept(order.live.begin(), order.live.end());
  if (previous.view != previous.list) {
    const MatchList& view = *previous.view;
    size_t v = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      const bool inView = v < view.size() && view[v].volume == before[i].volume &&
                          view[v].recordIndex == before[i].recordIndex;
      if (inView) ++v;
      if (!inView) kept[i] = 0;
    }
  }
  auto summary = std::make_shared<ResultSummary>();
  size_t keptCount = 0;
  for (uint8_t k : kept) keptCount += k;
  if (keptCount == n) {
    summary->view = sorted;
  } else {
    MatchList view;
    view.reserve(keptCount);
    for (size_t k = 0; k < n; ++k) {
      if (stop.Step()) return nullptr;
      if (kept[order.positions[ascending ? k : n - 1 - k]]) view.push_back((*sorted)[k]);
    }
    summary->view = std::make_shared<const MatchList>(std::move(view));
  }
  summary->list = std::move(sorted);
  summary->tags = previous.tags;
  summary->tagCounts = previous.tagCounts;
  summary->viewTag = previous.viewTag;
  return summary;
}

SummaryPtr SummarizeForPublication(ResultList list, uint64_t generation) {
  return SummarizeResults(std::move(list), filterTags.Snapshot(), selectedTag.load(),
                          [generation] { return IsStale(generation); });
}

SummaryPtr CurrentSummary() {
  ResultList list;
  SummaryPtr summary;
  {
    std::lock_guard guard(resultsMutex);
    list = currentResults;
    summary = currentSummary;
  }
  if (!list) return nullptr;
  if (summary && summary->list == list) return summary;
  return SummarizeResults(std::move(list), filterTags.Snapshot(), selectedTag.load(),
                          [] { return false; });
}

uint64_t TagCountOf(const ResultSummary* summary, size_t tag) {
  if (!summary || tag >= summary->tagCounts.size()) return 0;
  return summary->tagCounts[tag];
}

}  // namespace qm
