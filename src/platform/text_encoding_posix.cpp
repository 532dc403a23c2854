#include "platform/text_encoding.h"

#include <cstdint>

#include "platform/utf8.h"

namespace qm {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char AnsiByteOf(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return char(uint8_t(unit));
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] != 0 && kHighControls[i] == unit) return char(uint8_t(0x80 + i));
  return '?';
}

}  // namespace

std::string ToUtf8Bytes(std::u16string_view text) {
  return ToUtf8(text);
}

std::string ToAnsiBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) ++i;
    bytes += pair ? '?' : AnsiByteOf(unit);
  }
  return bytes;
}

}  // namespace qm
