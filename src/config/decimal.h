// Decimal numbers in the configuration files, read as the C runtime's conversions read them:
// leading white space (space, tab, LF, VT, FF, CR), an optional sign, then digits up to the
// first unit that is not one; no digits give 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// As wcstoul with base 10 where unsigned long has 32 bits: a value beyond 32 bits becomes
// 0xFFFFFFFF; a minus sign negates modulo 2^32, so "-1" gives 0xFFFFFFFF. Every value the
// program writes with "%u" reads back unchanged.
uint32_t ParseUnsigned32(std::u16string_view text);

// As _wcstoui64 with base 10: a value beyond 64 bits becomes UINT64_MAX; a minus sign negates
// modulo 2^64.
uint64_t ParseUnsigned64(std::u16string_view text);

// The decimal digits of `value`.
std::u16string DecimalText(uint64_t value);

}  // namespace qm
