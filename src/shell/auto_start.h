// Run on startup: a scheduled task, Quillmarsh_AutoStart, starts the program hidden and
// elevated at log-on. The program never talks to the task scheduler itself: it runs the
// system's schtasks.exe, hidden, with an argument list and judges by the exit code. The check
// mark of the tray item asks schtasks.exe each time the menu opens.
//
// Everything here runs on the window thread, which waits for each schtasks.exe run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace qm {

inline constexpr std::u16string_view kAutoStartTaskName = u"Quillmarsh_AutoStart";
inline constexpr std::u16string_view kRunValueName = u"Quillmarsh";
inline constexpr uint32_t kExitCodeUnknown = 0xFFFFFFFFu;

// What starting schtasks.exe needs from the system.
class ProcessSystem {
 public:
  virtual ~ProcessSystem() = default;
  // GetSystemDirectoryW, whole; empty when the system gives none.
  virtual std::u16string SystemDirectory() = 0;
  // The program's own full path (GetModuleFileNameW), whole however long; empty on failure.
  virtual std::u16string OwnPath() = 0;
  // CreateProcessW of `program` with `commandLine`: no handle inheritance, CREATE_NO_WINDOW,
  // SW_HIDE; waits for the end and stores the exit code (kExitCodeUnknown when it cannot be
  // read). False, with `exitCode` untouched, when the process did not start.
  virtual bool StartHidden(std::u16string_view program, std::u16string_view commandLine,
                           uint32_t* exitCode) = 0;
  // Deletes the value `name` of HKEY_CURRENT_USER\...\CurrentVersion\Run; a key that cannot
  // be opened or a missing value is no error.
  virtual void DeleteRunValue(std::u16string_view name) = 0;
};

ProcessSystem& SystemProcesses();  // the Windows build's

// One argument for a Windows command line: unchanged when empty or free of space, tab and
// double quote; otherwise quoted, with the backslashes before a quote (and before the closing
// quote) doubled and each inner quote escaped.
std::u16string QuoteArgument(std::u16string_view argument);

// The quoted program and arguments joined by spaces.
std::u16string CommandLineFor(std::u16string_view program,
                              const std::vector<std::u16string>& arguments);

// Runs `program` hidden and waits: true when it started; `exitCode` (when given) then holds
// its exit code and otherwise keeps what the caller preset. An empty program never starts.
bool RunHidden(ProcessSystem& system, std::u16string_view program,
               const std::vector<std::u16string>& arguments, uint32_t* exitCode);

// The system folder's schtasks.exe; empty when the system folder is unknown. The program runs
// elevated: it never starts schtasks.exe by a bare name that the program's folder or the
// current folder could answer.
std::u16string SchtasksPath(ProcessSystem& system);

// The argument lists of the three schtasks.exe runs.
std::vector<std::u16string> QueryTaskArguments();
std::vector<std::u16string> CreateTaskArguments(std::u16string_view ownPath);
std::vector<std::u16string> DeleteTaskArguments();

// True when the query started and schtasks.exe ended with 0.
bool IsAutoStartEnabled(ProcessSystem& system);

// The tray command: removes the old Run value, then deletes the task when it exists or
// creates it otherwise; a failure is shown with schtasks.exe's exit code.
void ToggleAutoStart(ProcessSystem& system, MessageBoxes& boxes, WindowHandle owner);

}  // namespace qm
