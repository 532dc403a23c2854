// Time as the workers and the list see it: the tick count that throttles progress messages
// (GetTickCount64) and the conversion of a file time to the local calendar time the list shows
// (FileTimeToSystemTime, then SystemTimeToTzSpecificLocalTime for the current zone). Tests
// install their own clock.
#pragma once

#include <atomic>
#include <cstdint>

namespace qm {

// 1970-01-01 00:00 UTC as a file time (100 ns units since 1601-01-01 UTC).
inline constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000;

struct LocalTimeParts {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;
  int minute = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the system started.
  virtual uint64_t TickCount() = 0;
  // `fileTime`: 100 ns units since 1601-01-01 UTC. False when the time cannot be converted
  // (beyond what the system's calendar holds).
  virtual bool ToLocalTime(uint64_t fileTime, LocalTimeParts* out) = 0;
};

// The system's clock: *_win32.cpp and *_posix.cpp.
Clock& SystemClock();

// A clock that replaces the system's (tests); nullptr: the system's. Set it before any worker
// starts and reset it after the last one ended.
inline std::atomic<Clock*> clockOverride{nullptr};

inline Clock& CurrentClock() {
  Clock* replacement = clockOverride.load();
  return replacement ? *replacement : SystemClock();
}

}  // namespace qm
