#include "config/hotkey_file.h"

#include <vector>

#include "config/decimal.h"
#include "config/text_file.h"
#include "config/trim_blanks.h"

namespace qm {

void ApplyHotkeyLine(std::u16string_view line, HotkeySetting* setting) {
  line = TrimmedView(line);
  const size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return;
  const std::u16string_view name = TrimmedView(line.substr(0, equals));
  const std::u16string_view value = TrimmedView(line.substr(equals + 1));
  if (name == u"modifiers") {
    setting->modifiers = ParseUnsigned32(value);
  } else if (name == u"key") {
    setting->key = ParseUnsigned32(value);
  }
}

bool ReadHotkeyFile(ConfigSystem& system, std::u16string_view path, HotkeySetting* setting) {
  std::vector<std::u16string> lines;
  if (!Decoded(ReadTextFile(system, path, kHotkeyLineBuffer, &lines))) return false;
  for (const std::u16string& line : lines) ApplyHotkeyLine(line, setting);
  return true;
}

std::u16string FormatHotkeyFile(const HotkeySetting& setting) {
  return u"modifiers=" + DecimalText(setting.modifiers) + u"\nkey=" + DecimalText(setting.key) +
         u"\n";
}

bool WriteHotkeyFile(ConfigSystem& system, std::u16string_view path, const HotkeySetting& setting) {
  return WriteTextFile(system, path, FormatHotkeyFile(setting));
}

}  // namespace qm
