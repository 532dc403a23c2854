#include "search/status_text.h"

#include <string>

#include "base/main_window.h"
#include "base/window_messages.h"

namespace qm {

namespace {

constexpr std::u16string_view kConversions[] = {u"%zu", u"%lu", u"%llu", u"%lld"};

}  // namespace

char16_t* NewStatusText(std::u16string_view format, uint64_t first, uint64_t second) {
  char16_t* buffer = new char16_t[kStatusTextUnits]();
  const size_t limit = kStatusTextUnits - 1;
  size_t length = 0;
  const uint64_t values[2] = {first, second};
  size_t nextValue = 0;
  auto put = [&](char16_t unit) {
    if (length < limit) buffer[length++] = unit;
  };
  for (size_t i = 0; i < format.size();) {
    if (format.substr(i, 2) == u"%%") {
      put(u'%');
      i += 2;
      continue;
    }
    size_t matched = 0;
    for (std::u16string_view conversion : kConversions)
      if (format.substr(i, conversion.size()) == conversion) matched = conversion.size();
    if (matched == 0) {
      put(format[i++]);
      continue;
    }
    const uint64_t value = nextValue < 2 ? values[nextValue] : 0;
    ++nextValue;
    const std::string digits = std::to_string(value);
    for (char digit : digits) put(char16_t(digit));
    i += matched;
  }
  buffer[length] = 0;
  return buffer;
}

void PostStatusText(uint64_t generation, TextId id, uint64_t first, uint64_t second) {
  char16_t* text = NewStatusText(Text(id), first, second);
  if (!PostToMainWindow(WM_SET_TITLE, uintptr_t(generation), intptr_t(text))) delete[] text;
}

}  // namespace qm
