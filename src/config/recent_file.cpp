#include "config/recent_file.h"

#include "config/decimal.h"
#include "config/text_file.h"
#include "config/trim_blanks.h"

namespace qm {

std::optional<RecentLine> ParseRecentLine(std::u16string_view line) {
  line = TrimmedView(line);
  const size_t tab = line.find(u'\t');
  if (tab == std::u16string_view::npos) return std::nullopt;
  RecentLine entry;
  entry.path = line.substr(tab + 1);
  if (entry.path.empty()) return std::nullopt;
  entry.stamp = ParseLeadingDigits64(line.substr(0, tab));
  return entry;
}

bool ReadRecentFile(ConfigSystem& system, std::u16string_view path, std::vector<RecentLine>* lines,
                    bool* unreadable) {
  lines->clear();
  std::vector<std::u16string> pieces;
  const TextFileRead read = ReadTextFile(system, path, kRecentLineBuffer, &pieces);
  for (const std::u16string& piece : pieces) {
    if (std::optional<RecentLine> entry = ParseRecentLine(piece)) {
      lines->push_back(std::move(*entry));
    }
  }
  if (unreadable) *unreadable = IsUnreadable(read, lines->size());
  return Decoded(read);
}

std::u16string FormatRecentFile(const std::vector<RecentLine>& lines) {
  std::u16string text;
  for (const RecentLine& entry : lines) {
    if (entry.path.empty()) continue;
    text += DecimalText(entry.stamp);
    text += u'\t';
    text += entry.path;
    text += u'\n';
  }
  return text;
}

bool WriteRecentFile(ConfigSystem& system, std::u16string_view path,
                     const std::vector<RecentLine>& lines) {
  return WriteTextFile(system, path, FormatRecentFile(lines));
}

}  // namespace qm
