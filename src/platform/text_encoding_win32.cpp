#include <windows.h>

#include "platform/text_encoding.h"

namespace qm {

namespace {

// Asks for the length first, then converts into a string of exactly that length.
std::string Convert(UINT codePage, std::u16string_view text) {
  if (text.empty()) return {};
  const wchar_t* units = reinterpret_cast<const wchar_t*>(text.data());
  const int length =
      WideCharToMultiByte(codePage, 0, units, int(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string bytes(size_t(length), '\0');
  WideCharToMultiByte(codePage, 0, units, int(text.size()), bytes.data(), length, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::string ToUtf8Bytes(std::u16string_view text) {
  return Convert(CP_UTF8, text);
}

std::string ToAnsiBytes(std::u16string_view text) {
  return Convert(CP_ACP, text);
}

}  // namespace qm
