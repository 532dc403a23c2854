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

// Folds A to Z in four units at once (a 64-bit word of four units): a unit below 0x8000 is a
// capital letter when adding 0x8000 - 'A' sets its top bit and adding 0x8000 - ('Z' + 1) does
// not.
constexpr uint64_t FoldFourUnits(uint64_t word) {
  constexpr uint64_t kTop = 0x8000800080008000ULL;
  const uint64_t low = word & ~kTop;
  const uint64_t fromA = low + 0x7FBF7FBF7FBF7FBFULL;
  const uint64_t pastZ = low + 0x7FA57FA57FA57FA5ULL;
  const uint64_t capital = fromA & ~pastZ & ~word & kTop;
  return word + (capital >> 10);  // 0x20 in each capital's unit
}

// The same for eight units of one byte each (0x00 to 0xFF) in a 64-bit word.
constexpr uint64_t FoldEightBytes(uint64_t word) {
  constexpr uint64_t kTop = 0x8080808080808080ULL;
  const uint64_t low = word & ~kTop;
  const uint64_t fromA = low + 0x3F3F3F3F3F3F3F3FULL;
  const uint64_t pastZ = low + 0x2525252525252525ULL;
  const uint64_t capital = fromA & ~pastZ & ~word & kTop;
  return word + (capital >> 2);  // 0x20 in each capital's byte
}

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
