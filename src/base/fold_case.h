// The one case fold of the program: A to Z become a to z, every other unit (accented and
// other non-ASCII letters included) stays as it is. No locale is ever consulted. Name matching
// folds stored names with it as it compares; queries and highlight terms are folded with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qm {

constexpr char16_t FoldUnit(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

inline std::u16string FoldCase(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) c = FoldUnit(c);
  return folded;
}

// True when `text` with A to Z folded is `folded`.
constexpr bool FoldedEquals(std::u16string_view text, std::u16string_view folded) {
  if (text.size() != folded.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (FoldUnit(text[i]) != folded[i]) return false;
  }
  return true;
}

// Folds A to Z in every unit of a 64-bit word of units `kBits` wide (16: four UTF-16 units; 8:
// eight units of one byte): a unit below the top bit of its width is a capital letter when adding
// top - 'A' sets that bit and adding top - ('Z' + 1) does not.
template <unsigned kBits>
constexpr uint64_t FoldPackedUnits(uint64_t word) {
  constexpr uint64_t kOnes = ~uint64_t(0) / ((uint64_t(1) << kBits) - 1);  // 1 in every unit
  constexpr uint64_t kHalf = uint64_t(1) << (kBits - 1);
  constexpr uint64_t kTop = kOnes * kHalf;
  const uint64_t low = word & ~kTop;
  const uint64_t fromA = low + kOnes * (kHalf - 'A');
  const uint64_t pastZ = low + kOnes * (kHalf - 'Z' - 1);
  const uint64_t capital = fromA & ~pastZ & ~word & kTop;
  return word + (capital >> (kBits - 6));  // 0x20 in each capital's unit
}

constexpr uint64_t FoldFourUnits(uint64_t word) {
  return FoldPackedUnits<16>(word);
}
constexpr uint64_t FoldEightBytes(uint64_t word) {
  return FoldPackedUnits<8>(word);
}
static_assert(FoldFourUnits(0x005B005A0041007AULL) == 0x005B007A0061007AULL);
static_assert(FoldEightBytes(0xFF5B5A41407A20C9ULL) == 0xFF5B7A61407A20C9ULL);

// A hash of `seed` and the text with A to Z folded (folding a folded text changes nothing),
// four units at a time, mixed so that its low bits depend on every unit and on the seed.
inline size_t HashFolded(uint64_t seed, const char16_t* text, size_t length) {
  uint64_t h = 0x9E3779B97F4A7C15ULL ^ seed ^ (uint64_t(length) << 48);
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    h = (h ^ FoldFourUnits(word)) * 0xff51afd7ed558ccdULL;
    h ^= h >> 29;
  }
  for (; i < length; ++i) h = (h ^ FoldUnit(text[i])) * 0x100000001b3ULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return size_t(h);
}

}  // namespace qm
