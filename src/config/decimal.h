// Decimal numbers in the configuration files. hotkey.ini's are read as the C runtime's
// conversion reads them: leading white space (space, tab, LF, VT, FF, CR), an optional sign,
// then digits up to the first unit that is not one; no digits give 0. recent.ini's stamps take
// the digits alone.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// As wcstoul with base 10 where unsigned long has 32 bits: a value beyond 32 bits becomes
// 0xFFFFFFFF; a minus sign negates modulo 2^32, so "-1" gives 0xFFFFFFFF. Every value the
// program writes with "%u" reads back unchanged.
uint32_t ParseUnsigned32(std::u16string_view text);

// The unsigned decimal number at the very start of `text`, for recent.ini's stamps: ASCII
// digits up to the first unit that is not one; no white space and no sign are taken, so
// " 7" and "-5" give 0 like any text without leading digits. A value beyond 64 bits becomes
// UINT64_MAX (a stamp that large is nonsense either way; the largest keeps the digits' sense).
uint64_t ParseLeadingDigits64(std::u16string_view text);

// The decimal digits of `value`.
std::u16string DecimalText(uint64_t value);

}  // namespace qm
