#include "config/config_dir.h"

namespace qm {

std::u16string ConfigDir(ConfigSystem& system) {
  std::u16string base;
  if (!system.DocumentsFolder(&base)) return std::u16string(kFallbackConfigDir);
  const std::u16string application = base + u"\\Quillmarsh";
  const std::u16string config = application + u"\\config";
  system.MakeFolder(application);
  system.MakeFolder(config);
  return config;
}

std::u16string FiltersIniPath(ConfigSystem& system) {
  return ConfigDir(system) + u"\\filters.ini";
}

std::u16string FiltersBakPath(ConfigSystem& system) {
  return ConfigDir(system) + u"\\filters.bak";
}

std::u16string RecentIniPath(ConfigSystem& system) {
  return ConfigDir(system) + u"\\recent.ini";
}

std::u16string HotkeyIniPath(ConfigSystem& system) {
  return ConfigDir(system) + u"\\hotkey.ini";
}

}  // namespace qm
