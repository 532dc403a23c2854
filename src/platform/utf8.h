// Conversion between UTF-8 and UTF-16.
//
// The strict forms report invalid input instead of guessing: overlong forms, encoded
// surrogates, values above U+10FFFF, stray or missing continuation bytes on the UTF-8 side,
// and unpaired surrogates on the UTF-16 side. The lossy forms, for display, put U+FFFD in
// place of each bad sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// Appends the UTF-16 form of `in` to `out`. On invalid input returns false, leaves `out` as
// it was and, when `errorOffset` is given, stores the byte offset of the first bad sequence.
bool AppendUtf8AsUtf16(std::string_view in, std::u16string& out, size_t* errorOffset = nullptr);

// Appends the UTF-8 form of `in` to `out`. On an unpaired surrogate returns false, leaves
// `out` as it was and, when `errorIndex` is given, stores the index of that unit.
bool AppendUtf16AsUtf8(std::u16string_view in, std::string& out, size_t* errorIndex = nullptr);

// Whole-string forms: `out` is replaced (emptied on failure).
bool Utf8ToUtf16(std::string_view in, std::u16string* out, size_t* errorOffset = nullptr);
bool Utf16ToUtf8(std::u16string_view in, std::string* out, size_t* errorIndex = nullptr);

// Lossy forms for display: never fail.
std::string ToUtf8(std::u16string_view in);
std::u16string ToUtf16(std::string_view in);

}  // namespace qm
