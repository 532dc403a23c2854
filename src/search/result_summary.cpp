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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

SummaryPtr currentSummary;

namespace {

// Entries per block: the stop test and the drive locks are taken once per block.
constexpr size_t kBlockEntries = 1024;
// Lists at least this long are summarised in parts on the shared pool, this many entries a
// part at least.
constexpr size_t kPartEntries = 65536;
constexpr size_t kMaxParts = 64;

// The extensions the tags list (every tag but the first, which accepts everything), numbered
// from 1, each with the set of tags listing it as a bit mask of `words` 64-bit words. Built once
// per pass; a lookup folds and hashes only the few units of a name's extension.
class ExtensionTable {
 public:
  explicit ExtensionTable(const FilterTagList& tags) : words_((tags.size() + 63) / 64) {
    size_t listed = 0;
    for (size_t t = 1; t < tags.size(); ++t) listed += tags[t].extensions.size();
    size_t slots = 16;
    while (slots < 2 * listed) slots *= 2;
    slots_.assign(slots, 0);
    masks_.assign(words_, 0);  // entry 0: no listed extension
    for (size_t t = 1; t < tags.size(); ++t) {
      for (const std::u16string& extension : tags[t].extensions) Add(extension, t);
    }
    if (longest_ <= kPackedUnits && std::endian::native == std::endian::little) BuildDirect();
  }

  size_t words() const { return words_; }
  size_t entries() const { return entries_.size() + 1; }
  const uint64_t* Mask(uint32_t entry) const { return masks_.data() + size_t(entry) * words_; }
  bool Lists(uint32_t entry, size_t tag) const { return (Mask(entry)[tag / 64] >> (tag % 64)) & 1; }

  // The entry of the extension of the name (its last "." to the end, folded, as
  // ExtensionListed takes it); 0 when no tag lists it. `name` is a stored name: it may be read
  // up to 8 units past its end.
  uint32_t EntryOf(const char16_t* name, size_t length) const {
    return direct_.empty() ? SlowEntryOf(name, length) : DirectEntryOf(name, length);
  }

 private:
  struct Entry {
    uint64_t hash;
    size_t offset;  // in keys_
    size_t length;
  };

  uint32_t SlowEntryOf(const char16_t* name, size_t length) const {
    // An extension longer than every listed one cannot match: the last "." is looked for only
    // among the name's last `longest_` units.
    const size_t lowest = length > longest_ ? length - longest_ : 0;
    size_t dot = length;
    while (dot > lowest) {
      if (name[--dot] == u'.') break;
    }
    if (dot == length || name[dot] != u'.') return 0;
    const char16_t* extension = name + dot;
    const size_t units = length - dot;
    const uint64_t hash = Hash(extension, units, true);
    for (size_t slot = hash & (slots_.size() - 1);; slot = (slot + 1) & (slots_.size() - 1)) {
      const uint32_t entry = slots_[slot];
      if (entry == 0) return 0;
      const Entry& e = entries_[entry - 1];
      if (e.hash == hash && e.length == units &&
          FoldedEquals(extension, keys_.data() + e.offset, units)) {
        return entry;
      }
    }
  }

  static uint64_t Hash(const char16_t* units, size_t length, bool fold) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (size_t i = 0; i < length; ++i) {
      hash ^= fold ? FoldUnit(units[i]) : units[i];
      hash *= 1099511628211ull;
    }
    return hash;
  }

  // `units` folded equals `key` as stored. A listed extension is compared as written: one
  // holding capitals never equals a folded name, exactly as ExtensionListed finds.
  static bool FoldedEquals(const char16_t* units, const char16_t* key, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      if (FoldUnit(units[i]) != key[i]) return false;
    }
    return true;
  }

  void Add(const std::u16string& extension, size_t tag) {
    if (extension.empty()) return;  // a name's extension holds at least its "."
    const uint64_t hash = Hash(extension.data(), extension.size(), false);
    size_t slot = hash & (slots_.size() - 1);
    for (; slots_[slot] != 0; slot = (slot + 1) & (slots_.size() - 1)) {
      const Entry& e = entries_[slots_[slot] - 1];
      if (e.hash == hash && std::u16string_view(keys_.data() + e.offset, e.length) == extension) {
        SetBit(slots_[slot], tag);
        return;
      }
    }
    entries_.push_back(Entry{hash, keys_.size(), extension.size()});
    keys_ += extension;
    masks_.resize(masks_.size() + words_, 0);
    slots_[slot] = uint32_t(entries_.size());
    SetBit(entries_.size(), tag);
    longest_ = std::max(longest_, extension.size());
  }

  void SetBit(size_t entry, size_t tag) {
    masks_[entry * words_ + tag / 64] |= uint64_t(1) << (tag % 64);
  }

  // When every listed extension fits eight units, a name's extension is read as two words of
  // four units (the first unit lowest, zero behind the extension) and found in a table without
  // collisions, so that a lookup takes a fixed number of steps and no branch on the name.
  static constexpr size_t kPackedUnits = 8;
  struct Packed {
    uint64_t low = ~uint64_t(0);  // no extension packs to all ones: its first unit is "."
    uint64_t high = ~uint64_t(0);
  };
  static Packed Pack(const char16_t* units, size_t length) {
    Packed key{0, 0};
    for (size_t i = 0; i < length; ++i) {
      uint64_t& word = i < 4 ? key.low : key.high;
      word |= uint64_t(units[i]) << (16 * (i % 4));
    }
    return key;
  }
  size_t DirectSlot(const Packed& key) const {
    const uint64_t h = key.low * directMultiplier_ ^ (key.high * 0xC2B2AE3D27D4EB4FULL);
    return size_t((h ^ (h >> 31)) >> directShift_);
  }

  // Picks a table size and multiplier that put every entry in a slot of its own; none is kept
  // when no such pick is found (the lookup then probes).
  void BuildDirect() {
    std::vector<Packed> packed(entries_.size() + 1);  // [0]: what empty slots point at
    for (size_t e = 0; e < entries_.size(); ++e) {
      packed[e + 1] = Pack(keys_.data() + entries_[e].offset, entries_[e].length);
    }
    for (unsigned bits = 4; bits <= 16; ++bits) {
      if ((size_t(1) << bits) < 4 * entries_.size()) continue;
      for (uint64_t attempt = 0; attempt < 64; ++attempt) {
        directShift_ = 64 - bits;
        directMultiplier_ = 0x9E3779B97F4A7C15ULL + 2 * attempt * 0x632BE59BD9B4E019ULL;
        direct_.assign(size_t(1) << bits, 0);
        bool collided = false;
        for (uint32_t e = 1; e < packed.size() && !collided; ++e) {
          uint32_t& slot = direct_[DirectSlot(packed[e])];
          collided = slot != 0;
          slot = e;
        }
        if (!collided) {
          packed_ = std::move(packed);
          return;
        }
      }
    }
    direct_.clear();
  }

  uint32_t DirectEntryOf(const char16_t* name, size_t length) const {
    // The last "." among the name's last eight units; without one, the "extension" read is the
    // empty text behind the name, which no entry holds.
    const size_t base = length >= kPackedUnits ? length - kPackedUnits : 0;
    size_t dot = length;
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + base));
    uint32_t dots = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_set1_epi16('.'))));
    if (length < kPackedUnits) dots &= (uint32_t(1) << (2 * length)) - 1;
    if (dots != 0) dot = base + size_t(31 - std::countl_zero(dots)) / 2;
#else
    for (size_t k = length; k > base; --k) {
      if (name[k - 1] == u'.') {
        dot = k - 1;
        break;
      }
    }
#endif
    const size_t extensionLength = length - dot;
    Packed key;
    std::memcpy(&key.low, name + dot, sizeof key.low);
    std::memcpy(&key.high, name + dot + 4, sizeof key.high);
    // The units behind the extension belong to the next name: cleared.
    const unsigned lowBits = 16 * unsigned(std::min<size_t>(extensionLength, 4));
    const unsigned highBits = 16 * unsigned(extensionLength > 4 ? extensionLength - 4 : 0);
    key.low &= lowBits == 64 ? ~uint64_t(0) : (uint64_t(1) << lowBits) - 1;
    key.high &= highBits == 64 ? ~uint64_t(0) : (uint64_t(1) << highBits) - 1;
    key.low = FoldFourUnits(key.low);
    key.high = FoldFourUnits(key.high);
    const uint32_t entry = direct_[DirectSlot(key)];
    const Packed& listed = packed_[entry];
    return listed.low == key.low && listed.high == key.high ? entry : 0;
  }

  size_t words_;
  size_t longest_ = 0;
  std::vector<uint32_t> slots_;  // 0: empty; otherwise an entry (an index into entries_ plus one)
  std::vector<Entry> entries_;
  std::u16string keys_;           // every listed extension, one after another
  std::vector<uint64_t> masks_;   // words_ per entry, entry 0 first
  std::vector<uint32_t> direct_;  // entry by DirectSlot, 0 for none; empty when not used
  std::vector<Packed> packed_;    // by entry
  uint64_t directMultiplier_ = 0;
  int directShift_ = 64;
};

// A position the tag list has; any other (negative, beyond the end) is the first tag's.
size_t EffectivePosition(int32_t tag, size_t count) {
  return tag < 0 ? 0 : EffectiveTagIndex(size_t(tag), count);
}

// How far ahead of the entry being read its successors' records and names are fetched: in a
// sorted list they lie anywhere on the drive, and each would otherwise wait for a record and
// then for the end of its name to come from memory.
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
      __builtin_prefetch(locked->names.At(record.name) + record.nameLength);
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
  // Whether the view keeps a live file, by the entry of its extension.
  std::vector<uint8_t> keeps(table.entries());
  for (uint32_t e = 0; e < keeps.size(); ++e) {
    keeps[e] = viewPosition == 0 || (e != 0 && table.Lists(e, viewPosition));
  }
  part.entryCounts.assign(table.entries(), 0);
  if (viewPosition != 0) StartCopy(part);
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
        }
        FetchAhead(items, i, end, locked, recordCount);
        if (item.recordIndex < recordCount) {
          const FileRecord& record = locked->records[item.recordIndex];
          // Looked up for every record, and counted under entry 0 when it is no live file:
          // cheaper than a branch on each answer.
          uint32_t entry = table.EntryOf(locked->names.At(record.name), record.nameLength);
          entry = record.deleted || record.isDirectory ? 0 : entry;
          ++part.entryCounts[entry];
          keep = !record.deleted && keeps[entry];
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
    // Every tag's count from the counts of the extensions it lists.
    for (uint32_t e = 1; e < part.entryCounts.size(); ++e) {
      if (part.entryCounts[e] == 0) continue;
      const uint64_t* mask = table.Mask(e);
      for (size_t w = 0; w < table.words(); ++w) {
        for (uint64_t bits = mask[w]; bits != 0; bits &= bits - 1) {
          counts[w * 64 + size_t(std::countr_zero(bits))] += part.entryCounts[e];
        }
      }
    }
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

SummaryPtr ReorderSummary(const ResultSummary& previous, ResultList sorted, const ListOrder& order,
                          bool ascending) {
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
