#include "search/text_order.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/fold_case.h"

namespace qm {

namespace {

constexpr uint32_t kDigitUnits = 4;

// Units the key's text has, the backslash behind it included.
uint32_t Units(const TextKey& key) {
  return key.TextLength() + (key.ThenBackslash() ? 1 : 0);
}

// The four folded units of the key from `depth` on, the first highest; 0 for each unit past
// the end (no stored name holds a NUL, and where one does, the units left decide: see Rest).
uint64_t DigitAt(const TextKey& key, uint32_t depth) {
  const uint32_t length = key.TextLength();
  if (depth + kDigitUnits <= length) {
    uint64_t word;
    std::memcpy(&word, key.text + depth, sizeof word);
    word = FoldFourUnits(word);
    if constexpr (std::endian::native == std::endian::little) {
      word = word << 32 | word >> 32;
      word = (word & 0x0000FFFF0000FFFFULL) << 16 | (word >> 16 & 0x0000FFFF0000FFFFULL);
    }
    return word;
  }
  uint64_t digit = 0;
  for (uint32_t k = depth; k < depth + kDigitUnits; ++k) {
    char16_t unit = 0;
    if (k < length) {
      unit = FoldUnit(key.text[k]);
    } else if (k == length && key.ThenBackslash()) {
      unit = u'\\';
    }
    digit = digit << 16 | unit;
  }
  return digit;
}

// Units of the key within the digit at `depth`: of two keys with equal digits the one with
// fewer ends there and is a proper prefix of the other; keys with four go on past it.
uint32_t Rest(const TextKey& key, uint32_t depth) {
  return std::min(Units(key) - depth, kDigitUnits);
}

}  // namespace

bool TextSorter::Fill(TextKey* first, TextKey* last, uint32_t depth) {
  for (TextKey* key = first; key != last; ++key) {
    if (stop_.Step()) return false;
    // The texts lie anywhere in memory: each is fetched a few keys ahead.
    constexpr ptrdiff_t kAhead = 8;
    if (last - key > kAhead && depth < key[kAhead].TextLength())
      __builtin_prefetch(key[kAhead].text + depth);
    key->digit = DigitAt(*key, depth);
  }
  return true;
}

bool TextSorter::FillFirstDigits(TextKey* first, TextKey* last) {
  return Fill(first, last, 0);
}

bool TextSorter::Sort(TextKey* first, TextKey* last, bool digitsFilled) {
  pending_.clear();
  if (last - first > 1) pending_.push_back({first, last, 0, digitsFilled});
  while (!pending_.empty()) {
    const Range range = pending_.back();
    pending_.pop_back();
    const uint32_t depth = range.depth;
    if (!range.filled && !Fill(range.first, range.last, depth)) return false;
    const bool sorted =
        SortStopping(range.first, range.last, stop_, [depth](const TextKey& a, const TextKey& b) {
          if (a.digit != b.digit) return a.digit < b.digit;
          return Rest(a, depth) < Rest(b, depth);
        });
    if (!sorted) return false;
    // Keys that agree on the digit and go on past it are ordered by the next four units.
    for (TextKey* run = range.first; run != range.last;) {
      TextKey* end = run + 1;
      const uint32_t rest = Rest(*run, depth);
      while (end != range.last && end->digit == run->digit && Rest(*end, depth) == rest) ++end;
      if (end - run > 1 && rest == kDigitUnits)
        pending_.push_back({run, end, depth + kDigitUnits, false});
      run = end;
    }
  }
  return !stop_.stale();
}

}  // namespace qm
