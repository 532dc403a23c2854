#include "platform/utf8.h"

#include <cstdint>

namespace qm {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the sequence at `in[i]`; returns its length, or 0 when it is not valid UTF-8.
size_t DecodeUtf8(std::string_view in, size_t i, char32_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const unsigned char b = p[i];
  if (b < 0x80) {
    *out = b;
    return 1;
  }
  size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((b & 0xE0) == 0xC0) {
    length = 2;
    c = b & 0x1F;
    minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3;
    c = b & 0x0F;
    minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4;
    c = b & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (in.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (p[i + k] & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *out = c;
  return length;
}

void PutUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out.push_back(char16_t(c));
  } else {
    c -= 0x10000;
    out.push_back(char16_t(0xD800 + (c >> 10)));
    out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes the code point at `in[i]`; returns the units it takes, or 0 for an unpaired
// surrogate.
size_t DecodeUtf16(std::u16string_view in, size_t i, char32_t* out) {
  const char32_t c = in[i];
  if (c < 0xD800 || c > 0xDFFF) {
    *out = c;
    return 1;
  }
  if (c >= 0xDC00 || i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return 0;
  *out = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
  return 2;
}

void PutUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

}  // namespace

bool AppendUtf8AsUtf16(std::string_view in, std::u16string& out, size_t* errorOffset) {
  const size_t original = out.size();
  for (size_t i = 0; i < in.size();) {
    char32_t c;
    const size_t length = DecodeUtf8(in, i, &c);
    if (length == 0) {
      out.resize(original);
      if (errorOffset) *errorOffset = i;
      return false;
    }
    PutUtf16(c, out);
    i += length;
  }
  return true;
}

bool AppendUtf16AsUtf8(std::u16string_view in, std::string& out, size_t* errorIndex) {
  const size_t original = out.size();
  for (size_t i = 0; i < in.size();) {
    char32_t c;
    const size_t length = DecodeUtf16(in, i, &c);
    if (length == 0) {
      out.resize(original);
      if (errorIndex) *errorIndex = i;
      return false;
    }
    PutUtf8(c, out);
    i += length;
  }
  return true;
}

bool Utf8ToUtf16(std::string_view in, std::u16string* out, size_t* errorOffset) {
  out->clear();
  return AppendUtf8AsUtf16(in, *out, errorOffset);
}

bool Utf16ToUtf8(std::u16string_view in, std::string* out, size_t* errorIndex) {
  out->clear();
  return AppendUtf16AsUtf8(in, *out, errorIndex);
}

std::string ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    char32_t c;
    size_t length = DecodeUtf16(in, i, &c);
    if (length == 0) {
      c = kReplacement;
      length = 1;
    }
    PutUtf8(c, out);
    i += length;
  }
  return out;
}

std::u16string ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    char32_t c;
    size_t length = DecodeUtf8(in, i, &c);
    if (length == 0) {
      c = kReplacement;
      length = 1;
    }
    PutUtf16(c, out);
    i += length;
  }
  return out;
}

}  // namespace qm
