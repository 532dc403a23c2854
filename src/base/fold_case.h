// The one case fold of the program: A to Z become a to z, every other unit (accented and
// other non-ASCII letters included) stays as it is. No locale is ever consulted. Name matching
// folds stored names with it as it compares; queries and highlight terms are folded with it.
#pragma once

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

}  // namespace qm
