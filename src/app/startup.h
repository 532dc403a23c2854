// The start-up decisions of the window program that do not need the system: whether the
// command line asks to start hidden, and whether to run, given the single-instance mutex and
// the administrator test.
#pragma once

#include <string_view>

namespace qm {

// `-hidden` anywhere in the command line, case-sensitive, as a plain substring: "-hiddenly"
// counts, "-HIDDEN" does not.
bool HasHiddenOption(std::u16string_view commandLine);

enum class SingleInstance {
  kFirst,           // the mutex was created and is held
  kAlreadyRunning,  // it existed already (error 183)
  kFailed,          // it could not be created
};

enum class StartupVerdict {
  kRun,
  kAlreadyRunning,      // "already running" box, exit code 0; comes before the rights test
  kNeedsAdministrator,  // "administrator required" box, exit code 1
  kQuietExitNoRights,   // started hidden without rights (a log-on task): no box, exit code 0
};

StartupVerdict DecideStartup(SingleInstance instance, bool administrator, bool hidden);

}  // namespace qm
