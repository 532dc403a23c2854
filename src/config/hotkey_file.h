// hotkey.ini: the show/hide hotkey as two name=value lines, written as
//
//   modifiers=1
//   key=90
//
// (Alt+Z, the default). Reading trims each line, splits it at the first "=", trims both
// sides, and takes the names "modifiers" and "key" exactly (case-sensitive) with their values
// read as decimal integers; other names and lines without "=" are ignored, a later line wins,
// and no value is checked. A missing name keeps its current value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/config_system.h"

namespace qm {

// Modifier flags as the system's hotkey registration takes them.
inline constexpr uint32_t kModAlt = 1;
inline constexpr uint32_t kModControl = 2;
inline constexpr uint32_t kModShift = 4;
inline constexpr uint32_t kModWin = 8;

struct HotkeySetting {
  uint32_t modifiers = kModAlt;
  uint32_t key = 0x5A;  // 'Z'

  bool operator==(const HotkeySetting&) const = default;
};

// Applies one line of hotkey.ini to `setting`.
void ApplyHotkeyLine(std::u16string_view line, HotkeySetting* setting);

// Reads hotkey.ini (lines of up to 255 units) into `setting`, which keeps its values for
// names the file does not give. False, with `setting` untouched, when it cannot be opened.
bool ReadHotkeyFile(ConfigSystem& system, std::u16string_view path, HotkeySetting* setting);

// "modifiers=%u\nkey=%u\n".
std::u16string FormatHotkeyFile(const HotkeySetting& setting);

// Saves the setting; false (and nothing changed on disk) when the save fails.
bool WriteHotkeyFile(ConfigSystem& system, std::u16string_view path, const HotkeySetting& setting);

}  // namespace qm
