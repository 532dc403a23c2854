// The byte forms of a text that the content scan looks for: UTF-8 and the system's ANSI code
// page, as WideCharToMultiByte makes them (flags 0, no default character given, its use not
// reported).
//
// Outside Windows there is no system ANSI code page; Windows-1252 stands in for it: U+0000 to
// U+007F and U+00A0 to U+00FF are themselves, the 27 characters of 0x80 to 0x9F (the euro
// sign, typographic quotes, dashes and the rest) have their Windows-1252 bytes, and every other
// character, a surrogate pair counting as one, becomes the default character '?'. Windows'
// best-fit replacements (such as 'A' for U+0100) are not made.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Code page 65001. An unpaired surrogate becomes U+FFFD, as the system does.
std::string ToUtf8Bytes(std::u16string_view text);

// Code page 0 (the system's ANSI code page).
std::string ToAnsiBytes(std::u16string_view text);

}  // namespace qm
