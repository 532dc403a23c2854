#include "config/text_file.h"

#include <algorithm>

#include "config/trim_blanks.h"
#include "platform/utf8.h"

namespace qm {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// Appends `units`, turning each CR LF into LF.
void AppendWithoutCr(std::u16string_view units, std::u16string* text) {
  for (size_t i = 0; i < units.size(); ++i) {
    if (units[i] == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') continue;
    text->push_back(units[i]);
  }
}

}  // namespace

bool DecodeTextFile(std::string_view bytes, std::u16string* text) {
  text->clear();
  if (bytes.starts_with(kUtf16BeMark)) return false;
  if (bytes.starts_with(kUtf16LeMark)) {
    bytes.remove_prefix(kUtf16LeMark.size());
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
      units[i] = char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
    }
    AppendWithoutCr(units, text);
    return true;
  }
  if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  AppendWithoutCr(ToUtf16(bytes), text);
  return true;
}

std::vector<std::u16string> SplitLinePieces(std::u16string_view text, size_t bufferUnits) {
  const size_t most = std::max<size_t>(bufferUnits, 2) - 1;
  std::vector<std::u16string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    const size_t limit = std::min(text.size(), start + most);
    size_t end = start;
    while (end < limit && text[end] != u'\n') ++end;
    if (end < limit) ++end;  // the LF belongs to its piece
    std::u16string_view piece = text.substr(start, end - start);
    pieces.emplace_back(piece.substr(0, piece.find(u'\0')));
    start = end;
  }
  return pieces;
}

TextFileRead ReadTextFile(ConfigSystem& system, std::u16string_view path, size_t bufferUnits,
                          std::vector<std::u16string>* pieces) {
  pieces->clear();
  std::string bytes;
  if (!system.ReadBytes(path, kMaxTextFileBytes, &bytes)) return TextFileRead::kNotOpened;
  std::u16string text;
  if (!DecodeTextFile(bytes, &text)) return TextFileRead::kUndecodable;
  *pieces = SplitLinePieces(text, bufferUnits);
  return TrimmedView(text).empty() ? TextFileRead::kBlank : TextFileRead::kText;
}

bool KeepUnreadable(ConfigSystem& system, std::u16string_view path) {
  return system.ReplaceAtomically(path, std::u16string(path) + std::u16string(kUnreadableSuffix));
}

std::string EncodeTextFile(std::u16string_view text) {
  std::string bytes(kUtf8Mark);
  bytes.reserve(kUtf8Mark.size() + text.size() + text.size() / 2);
  // A LF never sits inside a surrogate pair, so each line converts on its own.
  while (true) {
    const size_t end = text.find(u'\n');
    bytes += ToUtf8(text.substr(0, end));
    if (end == std::u16string_view::npos) break;
    bytes += "\r\n";
    text.remove_prefix(end + 1);
  }
  return bytes;
}

namespace {

// Every save: `fill` writes the temporary file beside the file `path` names (a symbolic link's
// target, so the link survives), which it then replaces.
template <typename Fill>
bool SaveThroughTemp(ConfigSystem& system, std::u16string_view path, Fill fill) {
  const std::u16string target = system.SaveTarget(path);
  const std::u16string temp = target + std::u16string(kSaveTempSuffix);
  if (fill(temp) && system.ReplaceAtomically(temp, target)) return true;
  system.RemoveFile(temp);
  return false;
}

}  // namespace

bool WriteTextFile(ConfigSystem& system, std::u16string_view path, std::u16string_view text) {
  return SaveThroughTemp(system, path, [&](std::u16string_view temp) {
    return system.WriteBytes(temp, EncodeTextFile(text));
  });
}

bool SaveCopy(ConfigSystem& system, std::u16string_view from, std::u16string_view to) {
  return SaveThroughTemp(system, to,
                         [&](std::u16string_view temp) { return system.CopyOver(from, temp); });
}

}  // namespace qm
