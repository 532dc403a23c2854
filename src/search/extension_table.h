// The extensions the filter tags list, for the passes that count a list's tag hits.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/fold_case.h"
#include "config/filter_tags.h"
#include "index/extension_codes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

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

  // The entry of every extension a drive numbers, by its code (ExtensionCodes), so that a pass
  // finds a record's entry without reading its name; kByName for code 0 and for codes numbered
  // after these were made: such a record is looked up by its name. Caller holds the drive's
  // lock shared.
  static constexpr uint32_t kByName = ~uint32_t(0);
  using CodeEntries = std::array<uint32_t, ExtensionCodes::kCodes>;
  void EntriesOfCodes(const ExtensionCodes& codes, CodeEntries& out) const {
    out.fill(kByName);
    for (size_t code = 1; code < codes.size(); ++code) {
      // The extension as a stored name: a lookup reads up to 8 units past its end.
      const std::u16string_view extension = codes.Extension(uint8_t(code));
      char16_t padded[ExtensionCodes::kLongest + kPackedUnits] = {};
      std::copy(extension.begin(), extension.end(), padded);
      out[code] = EntryOf(padded, extension.size());
    }
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
  // collisions, so that a lookup takes a fixed number of steps and no branch on the name. The
  // length tells ".txt" from ".txt" and a NUL unit. When, as usual, every listed unit also lies
  // between 0x01 and 0xFE, the units are narrowed to one byte each (a name's units beyond 0xFE
  // become 0x00 or 0xFF, which no listed one is) and the key is one word.
  static constexpr size_t kPackedUnits = 8;
  // A key, and in the table the entry whose key it is (0 in an empty slot), so that a lookup
  // reads one slot.
  struct Packed {
    uint64_t low = ~uint64_t(0);  // no extension packs to all ones: its first unit is "."
    uint64_t high = ~uint64_t(0);
    uint32_t length = ~uint32_t(0);
    uint32_t entry = 0;
  };
  static Packed Pack(const char16_t* units, size_t length, bool narrow) {
    Packed key{0, 0, uint32_t(length), 0};
    for (size_t i = 0; i < length; ++i) {
      if (narrow) {
        key.low |= uint64_t(units[i]) << (8 * i);
      } else {
        uint64_t& word = i < 4 ? key.low : key.high;
        word |= uint64_t(units[i]) << (16 * (i % 4));
      }
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
#if defined(__SSE2__)
    narrow_ =
        std::all_of(keys_.begin(), keys_.end(), [](char16_t u) { return u >= 1 && u <= 0xFE; });
#endif
    std::vector<Packed> packed(entries_.size() + 1);
    for (size_t e = 0; e < entries_.size(); ++e) {
      packed[e + 1] = Pack(keys_.data() + entries_[e].offset, entries_[e].length, narrow_);
      packed[e + 1].entry = uint32_t(e + 1);
    }
    for (unsigned bits = 4; bits <= 16; ++bits) {
      if ((size_t(1) << bits) < 4 * entries_.size()) continue;
      for (uint64_t attempt = 0; attempt < 64; ++attempt) {
        directShift_ = 64 - bits;
        directMultiplier_ = 0x9E3779B97F4A7C15ULL + 2 * attempt * 0x632BE59BD9B4E019ULL;
        direct_.assign(size_t(1) << bits, Packed{});
        bool collided = false;
        for (uint32_t e = 1; e < packed.size() && !collided; ++e) {
          Packed& slot = direct_[DirectSlot(packed[e])];
          collided = slot.entry != 0;
          slot = packed[e];
        }
        if (!collided) return;
      }
    }
    direct_.clear();
  }

  // Without a branch on the name: whether it has a dot, how long its extension is and whether
  // a tag lists it differ from one entry to the next, and a mispredicted branch costs more
  // than the whole lookup.
  uint32_t DirectEntryOf(const char16_t* name, size_t length) const {
    // The last "." among the name's last eight units; without one, the "extension" read is the
    // empty text behind the name, which no entry holds.
    const size_t base = length >= kPackedUnits ? length - kPackedUnits : 0;
    size_t dot = length;
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + base));
    uint32_t dots = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_set1_epi16('.'))));
    dots &= kOwnUnits[std::min(length, kPackedUnits)];  // units behind the name are the next's
    const size_t last = base + size_t(31 - std::countl_zero(dots | 1)) / 2;
    dot = dots != 0 ? last : length;
#else
    for (size_t k = length; k > base; --k) {
      if (name[k - 1] == u'.') {
        dot = k - 1;
        break;
      }
    }
#endif
    const size_t extensionLength = length - dot;  // 0 to 8
    Packed key;
#if defined(__SSE2__)
    if (narrow_) {
      // The eight units narrowed to bytes, moved so that the extension starts at the lowest
      // (a shift by 64 for a name of eight units or more without a dot: its key is cleared).
      const uint64_t bytes = uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(units, units)));
      key.low = FoldEightBytes((bytes >> ((8 * (dot - base)) & 63)) & kBytes[extensionLength]);
      key.high = 0;
    } else
#endif
    {
      std::memcpy(&key.low, name + dot, sizeof key.low);
      std::memcpy(&key.high, name + dot + 4, sizeof key.high);
      // The units behind the extension belong to the next name: cleared.
      key.low = FoldFourUnits(key.low & kLowUnits[extensionLength]);
      key.high = FoldFourUnits(key.high & kHighUnits[extensionLength]);
    }
    const Packed& listed = direct_[DirectSlot(key)];
    const uint64_t differs =
        (listed.low ^ key.low) | (listed.high ^ key.high) | (listed.length ^ extensionLength);
    return listed.entry & (0u - uint32_t(differs == 0));
  }

  // By a name's length below eight: the bits of the dot mask its own units fill.
  static constexpr uint32_t kOwnUnits[kPackedUnits + 1] = {0x0000, 0x0003, 0x000F, 0x003F, 0x00FF,
                                                           0x03FF, 0x0FFF, 0x3FFF, 0xFFFF};
  // By an extension's length: the bits of its first and of its last four units it fills.
  static constexpr uint64_t kLowUnits[kPackedUnits + 1] = {0,
                                                           0xFFFF,
                                                           0xFFFFFFFF,
                                                           0xFFFFFFFFFFFF,
                                                           ~uint64_t(0),
                                                           ~uint64_t(0),
                                                           ~uint64_t(0),
                                                           ~uint64_t(0),
                                                           ~uint64_t(0)};
  // By an extension's length: the bytes it fills of a narrowed key.
  static constexpr uint64_t kBytes[kPackedUnits + 1] = {
      0,           0xFF,         0xFFFF,         0xFFFFFF,
      0xFFFFFFFF,  0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF,
      ~uint64_t(0)};
  static constexpr uint64_t kHighUnits[kPackedUnits + 1] = {
      0, 0, 0, 0, 0, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFFFFFF, ~uint64_t(0)};

  size_t words_;
  size_t longest_ = 0;
  std::vector<uint32_t> slots_;  // 0: empty; otherwise an entry (an index into entries_ plus one)
  std::vector<Entry> entries_;
  std::u16string keys_;          // every listed extension, one after another
  std::vector<uint64_t> masks_;  // words_ per entry, entry 0 first
  std::vector<Packed> direct_;   // by DirectSlot; empty when not used
  uint64_t directMultiplier_ = 0;
  int directShift_ = 64;
  bool narrow_ = false;  // keys of one byte per unit
};

}  // namespace qm
