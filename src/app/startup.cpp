#include "app/startup.h"

namespace qm {

bool HasHiddenOption(std::u16string_view commandLine) {
  return commandLine.find(u"-hidden") != std::u16string_view::npos;
}

StartupVerdict DecideStartup(SingleInstance instance, bool administrator, bool hidden) {
  if (instance != SingleInstance::kFirst) return StartupVerdict::kAlreadyRunning;
  if (administrator) return StartupVerdict::kRun;
  return hidden ? StartupVerdict::kQuietExitNoRights : StartupVerdict::kNeedsAdministrator;
}

}  // namespace qm
