#include "config/trim_blanks.h"

namespace qm {

std::u16string_view TrimmedView(std::u16string_view text) {
  size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  size_t end = text.size();
  while (end > first && IsBlank(text[end - 1])) --end;
  return text.substr(first, end - first);
}

void TrimBlanks(std::u16string& text) {
  const std::u16string_view kept = TrimmedView(text);
  const size_t first = size_t(kept.data() - text.data());
  const size_t length = kept.size();
  text.erase(0, first);
  text.resize(length);
}

}  // namespace qm
