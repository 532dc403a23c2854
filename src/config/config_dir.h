// The configuration folder and the paths of its four files.
//
//   Documents\Quillmarsh\config\filters.ini   filter tags
//   Documents\Quillmarsh\config\filters.bak   their backup
//   Documents\Quillmarsh\config\recent.ini    recently opened entries
//   Documents\Quillmarsh\config\hotkey.ini    show/hide hotkey
//
// Without a Documents folder the configuration folder is .\config, relative to the current
// folder, and nothing creates it.
#pragma once

#include <string>

#include "platform/config_system.h"

namespace qm {

inline constexpr std::u16string_view kFallbackConfigDir = u".\\config";

// The configuration folder, without a trailing separator. When the Documents folder is known
// it creates Documents\Quillmarsh and then its config subfolder, on every call.
std::u16string ConfigDir(ConfigSystem& system);

// ConfigDir followed by the file name; each call forms (and creates) the folder again.
std::u16string FiltersIniPath(ConfigSystem& system);
std::u16string FiltersBakPath(ConfigSystem& system);
std::u16string RecentIniPath(ConfigSystem& system);
std::u16string HotkeyIniPath(ConfigSystem& system);

}  // namespace qm
