#include <windows.h>

#include "platform/clock.h"

namespace qm {

namespace {

class Win32Clock final : public Clock {
 public:
  uint64_t TickCount() override { return GetTickCount64(); }

  bool ToLocalTime(uint64_t fileTime, LocalTimeParts* out) override {
    FILETIME time;
    time.dwLowDateTime = DWORD(fileTime);
    time.dwHighDateTime = DWORD(fileTime >> 32);
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&time, &utc)) return false;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
    out->year = local.wYear;
    out->month = local.wMonth;
    out->day = local.wDay;
    out->hour = local.wHour;
    out->minute = local.wMinute;
    return true;
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace qm
