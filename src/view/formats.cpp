#include "view/formats.h"

#include <cstdio>

#include "platform/clock.h"

namespace qm {

namespace {

// The formatted texts are ASCII: widened unit by unit.
std::u16string Widen(const char* text) {
  std::u16string wide;
  for (const char* c = text; *c; ++c) wide += char16_t(uint8_t(*c));
  return wide;
}

}  // namespace

std::u16string FormatSize(int64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < 1048576) {
    std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>(bytes / 1024));
  } else if (bytes < 1073741824) {
    std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1073741824.0);
  }
  return Widen(text);
}

std::u16string FormatTime(uint64_t fileTime) {
  if (fileTime == 0) return u"-";
  LocalTimeParts local;
  if (!CurrentClock().ToLocalTime(fileTime, &local)) return u"-";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.year, local.month, local.day,
                local.hour, local.minute);
  return Widen(text);
}

}  // namespace qm
