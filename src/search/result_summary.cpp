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

// The extensions the tags list (every tag but the first, which accepts everything), each with
// the set of tags listing it as a bit mask of `words` 64-bit words. Built once per pass; a
// lookup folds and hashes only the few units of a name's extension.
class ExtensionTable {
 public:
  explicit ExtensionTable(const FilterTagList& tags) : words_((tags.size() + 63) / 64) {
    size_t listed = 0;
    for (size_t t = 1; t < tags.size(); ++t) listed += tags[t].extensions.size();
    size_t slots = 16;
    while (slots < 2 * listed) slots *= 2;
    slots_.assign(slots, 0);
    for (size_t t = 1; t < tags.size(); ++t) {
      for (const std::u16string& extension : tags[t].extensions) Add(extension, t);
    }
    if (longest_ <= kPackedUnits) {
      // Every listed extension fits two words: looked up as two numbers.
      packedSlots_.assign(slots, 0);
      for (size_t e = 0; e < entries_.size(); ++e) {
        Packed key = Pack(keys_.data() + entries_[e].offset, entries_[e].length);
        key.entry = uint32_t(e + 1);
        size_t slot = PackedHash(key) & (slots - 1);
        while (packedSlots_[slot] != 0) slot = (slot + 1) & (slots - 1);
        packedSlots_[slot] = key.entry;
        packed_.push_back(key);
      }
    }
  }

  size_t words() const { return words_; }

  // The tags listing the extension of the name (its last "." to the end, folded, as
  // ExtensionListed takes it); nullptr when no tag lists it. `name` is a stored name: read up
  // to 8 units past its end.
  const uint64_t* TagsOf(const char16_t* name, size_t length) const {
    if (!packed_.empty()) return PackedTagsOf(name, length);
    return SlowTagsOf(name, length);
  }

 private:
  const uint64_t* SlowTagsOf(const char16_t* name, size_t length) const {
    // An extension longer than every listed one cannot match: the last "." is looked for only
    // among the name's last `longest_` units.
    const size_t lowest = length > longest_ ? length - longest_ : 0;
    size_t dot = length;
    while (dot > lowest) {
      if (name[--dot] == u'.') break;
    }
    if (dot == length || name[dot] != u'.') return nullptr;
    const char16_t* extension = name + dot;
    const size_t units = length - dot;
    const uint64_t hash = Hash(extension, units, true);
    for (size_t slot = hash & (slots_.size() - 1);; slot = (slot + 1) & (slots_.size() - 1)) {
      const uint32_t entry = slots_[slot];
      if (entry == 0) return nullptr;
      const Entry& e = entries_[entry - 1];
      if (e.hash == hash && e.length == units &&
          FoldedEquals(extension, keys_.data() + e.offset, units)) {
        return masks_.data() + (entry - 1) * words_;
      }
    }
  }

  struct Entry {
    uint64_t hash;
    size_t offset;  // in keys_
    size_t length;
  };

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
        SetBit(slots_[slot] - 1, tag);
        return;
      }
    }
    entries_.push_back(Entry{hash, keys_.size(), extension.size()});
    keys_ += extension;
    masks_.resize(masks_.size() + words_, 0);
    slots_[slot] = uint32_t(entries_.size());
    SetBit(entries_.size() - 1, tag);
    longest_ = std::max(longest_, extension.size());
  }

  void SetBit(size_t entry, size_t tag) {
    masks_[entry * words_ + tag / 64] |= uint64_t(1) << (tag % 64);
  }

  // An extension of at most kPackedUnits units as two words of four units each, zero behind it.
  static constexpr size_t kPackedUnits = 8;
  struct Packed {
    uint64_t low = 0;
    uint64_t high = 0;
    uint32_t entry = 0;  // in entries_, plus one
  };
  static Packed Pack(const char16_t* units, size_t length) {
    Packed key;
    for (size_t i = 0; i < length; ++i) {
      uint64_t& word = i < 4 ? key.low : key.high;
      word |= uint64_t(units[i]) << (16 * (i % 4));
    }
    return key;
  }
  static size_t PackedHash(const Packed& key) {
    uint64_t h = (key.low ^ (key.high * 0x9E3779B97F4A7C15ULL)) * 0xff51afd7ed558ccdULL;
    return size_t(h ^ (h >> 29));
  }

  // TagsOf for tags whose extensions all fit two words: the last "." among the name's last
  // eight units, the extension read as two words, folded four units at a time, and one probe
  // for the common answer, few branches on the name itself.
  const uint64_t* PackedTagsOf(const char16_t* name, size_t length) const {
    const size_t base = length >= kPackedUnits ? length - kPackedUnits : 0;
    size_t dot = length;
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + base));
    uint32_t dots = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_set1_epi16('.'))));
    if (length < kPackedUnits) dots &= (uint32_t(1) << (2 * length)) - 1;
    if (dots == 0) return nullptr;
    dot = base + size_t(31 - std::countl_zero(dots)) / 2;
#else
    while (dot > base && name[dot - 1] != u'.') --dot;
    if (dot == base) return nullptr;
    --dot;
#endif
    const size_t extensionLength = length - dot;
    if (extensionLength > longest_) return nullptr;
    Packed key;
    std::memcpy(&key.low, name + dot, sizeof key.low);
    std::memcpy(&key.high, name + dot + 4, sizeof key.high);
    // The units behind the extension are the next name's: cleared.
    const unsigned lowBits = 16 * unsigned(std::min<size_t>(extensionLength, 4));
    const unsigned highBits = 16 * unsigned(extensionLength > 4 ? extensionLength - 4 : 0);
    key.low &= lowBits == 64 ? ~uint64_t(0) : (uint64_t(1) << lowBits) - 1;
    key.high &= highBits == 64 ? ~uint64_t(0) : (uint64_t(1) << highBits) - 1;
    if constexpr (std::endian::native != std::endian::little) return SlowTagsOf(name, length);
    key.low = FoldFourUnits(key.low);
    key.high = FoldFourUnits(key.high);
    const size_t mask = packedSlots_.size() - 1;
    for (size_t slot = PackedHash(key) & mask;; slot = (slot + 1) & mask) {
      const uint32_t entry = packedSlots_[slot];
      if (entry == 0) return nullptr;
      const Packed& listed = packed_[entry - 1];
      if (listed.low == key.low && listed.high == key.high)
        return masks_.data() + (listed.entry - 1) * words_;
    }
  }

  size_t words_;
  size_t longest_ = 0;
  std::vector<uint32_t> slots_;  // 0: empty; otherwise an index into entries_ plus one
  std::vector<Entry> entries_;
  std::u16string keys_;                // every listed extension, one after another
  std::vector<uint64_t> masks_;        // words_ per entry
  std::vector<Packed> packed_;         // every entry packed, when all fit
  std::vector<uint32_t> packedSlots_;  // 0: empty; otherwise an index into packed_ plus one
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
  std::vector<uint64_t> counts;  // per tag; the first tag's is set by the caller
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
  const size_t words = table.words();
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
          if (!record.deleted) {
            keep = viewPosition == 0;
            if (!record.isDirectory) {
              if (const uint64_t* bits =
                      table.TagsOf(locked->names.At(record.name), record.nameLength)) {
                for (size_t w = 0; w < words; ++w) {
                  for (uint64_t mask = bits[w]; mask != 0; mask &= mask - 1) {
                    ++part.counts[w * 64 + size_t(std::countr_zero(mask))];
                  }
                }
                if (viewPosition != 0) keep = (bits[viewPosition / 64] >> (viewPosition % 64)) & 1;
              }
            }
          }
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
    parts[k].counts.assign(tagList.size(), 0);
  }
  SharedPool().ParallelFor(
      partCount, [&](size_t k) { SummarizePart(items, table, viewPosition, stop, parts[k]); });

  std::vector<uint64_t> counts(tagList.size(), 0);
  size_t keptCount = 0;
  for (size_t k = 0; k < partCount; ++k) {
    const PartSummary& part = parts[k];
    if (part.stopped) return nullptr;
    for (size_t t = 0; t < counts.size(); ++t) counts[t] += part.counts[t];
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
