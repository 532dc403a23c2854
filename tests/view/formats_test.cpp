#include "view/formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>

#include "platform/clock.h"

namespace qm {
namespace {

TEST(FormatSizeTest, UnitsAndRounding) {
  struct Case {
    int64_t bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {0, u"0 B"},
      {-5, u"-5 B"},
      {std::numeric_limits<int64_t>::min(), u"-9223372036854775808 B"},
      {1023, u"1023 B"},
      {1024, u"1 KB"},
      {2047, u"1 KB"},
      {1048575, u"1023 KB"},
      {1048576, u"1.00 MB"},
      {1572864, u"1.50 MB"},
      {1073741823, u"1024.00 MB"},
      {1073741824, u"1.00 GB"},
      {int64_t(1) << 40, u"1024.00 GB"},
      {std::numeric_limits<int64_t>::max(), u"8589934592.00 GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

class FixedZoneClock : public Clock {
 public:
  uint64_t TickCount() override { return 0; }
  bool ToLocalTime(uint64_t fileTime, LocalTimeParts* out) override {
    last = fileTime;
    *out = parts;
    return ok;
  }
  LocalTimeParts parts;
  bool ok = true;
  uint64_t last = 0;
};

TEST(FormatTimeTest, LocalMinutesOrADash) {
  FixedZoneClock clock;
  clockOverride.store(&clock);
  clock.parts = {2024, 3, 7, 9, 5};
  EXPECT_EQ(FormatTime(133542903000000000ull), u"2024-03-07 09:05");
  EXPECT_EQ(clock.last, 133542903000000000ull);
  clock.parts = {12, 12, 31, 23, 59};
  EXPECT_EQ(FormatTime(1), u"0012-12-31 23:59");
  clock.last = 0;
  EXPECT_EQ(FormatTime(0), u"-");
  EXPECT_EQ(clock.last, 0u) << "zero is never converted";
  clock.ok = false;
  EXPECT_EQ(FormatTime(0xFFFFFFFFFFFFFFFFull), u"-");
  clockOverride.store(nullptr);
}

#ifndef _WIN32
TEST(FormatTimeTest, TheSystemClockConvertsToTheCurrentZone) {
  const char* previous = std::getenv("TZ");
  const std::string saved = previous ? previous : "";
  // 2024-03-07 09:05:59 UTC.
  const uint64_t fileTime = (1709802359ull + 11644473600ull) * 10000000ull + 1234567;
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FormatTime(fileTime), u"2024-03-07 09:05") << "seconds are dropped";
  setenv("TZ", "JST-9", 1);
  tzset();
  EXPECT_EQ(FormatTime(fileTime), u"2024-03-07 18:05");
  // 1601-01-01 00:00 plus 100 ns, and the first value the calendar cannot hold.
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FormatTime(1), u"1601-01-01 00:00");
  EXPECT_EQ(FormatTime(0x8000000000000000ull), u"-");
  if (previous) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
#endif

}  // namespace
}  // namespace qm
