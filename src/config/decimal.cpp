#include "config/decimal.h"

#include <cstdint>
#include <limits>
#include <string>

namespace qm {

namespace {

constexpr bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}
constexpr bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Skips white space and a sign; returns whether the sign was a minus.
bool SkipSpaceAndSign(std::u16string_view& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  text.remove_prefix(i);
  return negative;
}

// Reads digits into `value`; false when the value went past `limit`.
bool ReadDigits(std::u16string_view text, uint64_t limit, uint64_t* value) {
  uint64_t v = 0;
  for (char16_t c : text) {
    if (!IsDigit(c)) break;
    const uint64_t digit = uint64_t(c - u'0');
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

}  // namespace

uint32_t ParseUnsigned32(std::u16string_view text) {
  const bool negative = SkipSpaceAndSign(text);
  uint64_t value = 0;
  if (!ReadDigits(text, std::numeric_limits<uint32_t>::max(), &value)) {
    return std::numeric_limits<uint32_t>::max();
  }
  return negative ? uint32_t(0) - uint32_t(value) : uint32_t(value);
}

uint64_t ParseLeadingDigits64(std::u16string_view text) {
  uint64_t value = 0;
  if (!ReadDigits(text, std::numeric_limits<uint64_t>::max(), &value)) {
    return std::numeric_limits<uint64_t>::max();
  }
  return value;
}

std::u16string DecimalText(uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), char16_t(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace qm
