// Orders texts unit by unit with A to Z folded (the order of the name and path sorts) without
// copying them: a key points at its text where it is stored, a drive's name pool, and holds the
// four units at the depth being compared as one 64-bit number. The standard sort then orders
// keys by numbers held in the array, and only keys whose four units agree read their texts
// again, four units further on: most comparisons touch no text at all, and a text is read a
// few units at a time, in order, instead of once per comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/sort_stop.h"

namespace qm {

struct TextKey {
  // Set by SortTextKeys; free for the caller's use until then.
  uint64_t digit = 0;
  const char16_t* text = nullptr;  // as stored (folded as it is read); not read past `length`
  uint32_t length = 0;             // units of `text`, and kThenBackslash when one follows them
  uint32_t id = 0;                 // the caller's

  // The key is `text` followed by a backslash (a folder whose entries follow in a path).
  static constexpr uint32_t kThenBackslash = uint32_t(1) << 31;
  uint32_t TextLength() const { return length & ~kThenBackslash; }
  bool ThenBackslash() const { return (length & kThenBackslash) != 0; }
};
static_assert(sizeof(TextKey) == 24);

// Sorts keys in ascending order of their texts: unit by unit after folding A to Z, the first
// differing unit deciding by its value, a text that is a proper prefix of another first. Keys of
// equal texts end up in no particular order. False when `stop` answered true first (the keys
// are then in no particular order). Reuses its room from one call to the next.
class TextSorter {
 public:
  explicit TextSorter(SortStop& stop) : stop_(stop) {}
  // `digitsFilled`: FillFirstDigits has set the keys' digits already.
  bool Sort(TextKey* first, TextKey* last, bool digitsFilled = false);
  // Sets the digits the sort begins with, for keys sorted later in many small ranges: one pass
  // over them all fetches their texts from memory ahead of need. False when `stop` answered true.
  bool FillFirstDigits(TextKey* first, TextKey* last);

 private:
  struct Range {
    TextKey* first;
    TextKey* last;
    uint32_t depth;  // units every key of the range agrees on
    bool filled;     // the digits at `depth` are set
  };
  bool Fill(TextKey* first, TextKey* last, uint32_t depth);
  SortStop& stop_;
  std::vector<Range> pending_;
};

}  // namespace qm
