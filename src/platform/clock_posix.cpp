#include <time.h>

#include "platform/clock.h"

namespace qm {

namespace {

class PosixClock final : public Clock {
 public:
  uint64_t TickCount() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
  }

  bool ToLocalTime(uint64_t fileTime, LocalTimeParts* out) override {
    // Whole seconds, rounded down also before 1970.
    if (fileTime >= 0x8000000000000000ull) return false;  // FileTimeToSystemTime refuses these
    const int64_t units = int64_t(fileTime) - int64_t(kUnixEpochAsFileTime);
    int64_t seconds = units / 10000000;
    if (units % 10000000 < 0) --seconds;
    const time_t value = time_t(seconds);
    tm local{};
    if (!localtime_r(&value, &local)) return false;
    out->year = local.tm_year + 1900;
    out->month = local.tm_mon + 1;
    out->day = local.tm_mday;
    out->hour = local.tm_hour;
    out->minute = local.tm_min;
    return true;
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace qm
