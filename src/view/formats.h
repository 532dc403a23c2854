// The texts of the Size, Modified and Created cells (and of their tooltips).
#pragma once

#include <cstdint>
#include <string>

namespace qm {

// Bytes under 1024 (negative counts included) as "%lld B", then whole kilobytes ("%lld KB"),
// then megabytes and gigabytes with two decimals ("%.2f MB", "%.2f GB"); there is no larger unit.
std::u16string FormatSize(int64_t bytes);

// A file time (100 ns units since 1601-01-01 UTC) as the local "YYYY-MM-DD hh:mm", seconds
// dropped; "-" for 0 and for a time the calendar cannot hold.
std::u16string FormatTime(uint64_t fileTime);

}  // namespace qm
