// recent.ini: one recently opened entry per line, most recent first, a tick stamp in decimal,
// a tab and the full path:
//
//   123456789<TAB>C:\Data\report.txt
//
// Reading (4096-unit line buffer) trims each line; an empty line or one without a tab is
// skipped; the stamp is the unsigned decimal digits at the very start of the text before the
// first tab (no sign, no white space; no digits give 0, so letters or "-5" give 0); the path is the
// rest after the first tab, and a line with an empty path is skipped. Writing skips entries whose
// path is empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/config_system.h"

namespace qm {

struct RecentLine {
  uint64_t stamp = 0;
  std::u16string path;

  bool operator==(const RecentLine&) const = default;
};

// One line of recent.ini; nothing for a skipped line.
std::optional<RecentLine> ParseRecentLine(std::u16string_view line);

// Reads recent.ini. False, with `lines` empty, when it cannot be opened or decoded. `unreadable`,
// when given, tells whether the file holds something that gave no entry (IsUnreadable): a file
// with no line, or only blanks, is an empty list, not an unreadable file.
bool ReadRecentFile(ConfigSystem& system, std::u16string_view path, std::vector<RecentLine>* lines,
                    bool* unreadable = nullptr);

// "%llu\t%ls\n" per entry with a non-empty path; an empty list gives an empty text (the file
// then holds only the byte-order mark).
std::u16string FormatRecentFile(const std::vector<RecentLine>& lines);

// Saves the list; false (and nothing changed on disk) when the save fails.
bool WriteRecentFile(ConfigSystem& system, std::u16string_view path,
                     const std::vector<RecentLine>& lines);

}  // namespace qm
