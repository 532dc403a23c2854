// Blank trimming shared by the configuration readers and the search box: the blanks are
// space, tab, CR and LF, and nothing else (no other white space, no locale).
#pragma once

#include <string>
#include <string_view>

namespace qm {

constexpr bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The part of `text` between its first and its last unit that is not a blank; empty when
// every unit is a blank.
std::u16string_view TrimmedView(std::u16string_view text);

// Trims `text` in place: " \tabc \r\n" becomes "abc", "\r\n" becomes "", "a b" stays.
void TrimBlanks(std::u16string& text);

}  // namespace qm
