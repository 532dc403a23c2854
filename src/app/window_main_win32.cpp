// quillmarsh.exe: the window program. Start-up waits a second, fixes the language, makes sure
// only one instance runs, raises the privileges raw volume access needs, requires
// administrator rights, loads the configuration and runs the main window until Exit.
//
// Beyond the machine's own drives the program takes the stand-in options of the headless
// front end (--volume, --folder, --config, --lang; app/stand_in_options.h), so that it runs
// where no volume answers the change-journal controls.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/main_window_win32.h"
#include "app/stand_in_options.h"
#include "app/stand_in_systems.h"
#include "app/startup.h"
#include "base/texts.h"
#include "config/filter_tags.h"
#include "platform/command_line.h"
#include "platform/drive_system_win32.h"
#include "platform/utf8.h"
#include "shell/hotkey.h"
#include "view/recent_opens.h"

namespace qm {
namespace {

constexpr wchar_t kSingletonMutex[] = L"Quillmarsh_Singleton_Mutex_2024";

void ShowBox(HWND owner, TextId text, TextId caption, UINT icon) {
  const std::u16string body(Text(text));
  const std::u16string title(Text(caption));
  MessageBoxW(owner, reinterpret_cast<const wchar_t*>(body.c_str()),
              reinterpret_cast<const wchar_t*>(title.c_str()), icon);
}

// Backup, restore and volume management: enabled one by one; any failure is ignored.
void EnablePrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return;
  }
  for (const wchar_t* name :
       {L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeManageVolumePrivilege"}) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) continue;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

// Looked up by name so that systems without it still start.
void DeclareDpiAware() {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  if (!user) return;
  using SetAware = BOOL(WINAPI*)();
  auto set = reinterpret_cast<SetAware>(
      reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDPIAware")));
  if (set) set();
}

int Run(HINSTANCE instance, int showCommand) {
  Sleep(1000);

  // The stand-in options are read first: --lang decides the language of every box below.
  StandInOptions options;
  std::string complaint;
  std::vector<std::string> arguments = ArgumentsFromWide(GetCommandLineW());
  std::span<const std::string> args(arguments);
  if (!args.empty()) args = args.subspan(1);
  const bool argumentsOk = ParseWindowArguments(args, &options, &complaint);
  ApplyLanguageOption(options);

  HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingletonMutex);
  SingleInstance instanceState = SingleInstance::kFirst;
  if (!mutex) {
    instanceState = SingleInstance::kFailed;
  } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    mutex = nullptr;
    instanceState = SingleInstance::kAlreadyRunning;
  }
  EnablePrivileges();
  DeclareDpiAware();
  const wchar_t* commandLine = GetCommandLineW();
  const bool hidden =
      commandLine && HasHiddenOption(reinterpret_cast<const char16_t*>(commandLine));
  // The single-instance test comes first: a second start without rights says "already running".
  switch (DecideStartup(instanceState, instanceState == SingleInstance::kFirst && IsUserAnAdmin(),
                        hidden)) {
    case StartupVerdict::kRun:
      break;
    case StartupVerdict::kAlreadyRunning:
      ShowBox(nullptr, TextId::kAlreadyRunning, TextId::kCaptionInformation, MB_ICONINFORMATION);
      return 0;
    case StartupVerdict::kNeedsAdministrator:
      ShowBox(nullptr, TextId::kAdministratorRequired, TextId::kCaptionAdministrator, MB_ICONERROR);
      ExitProcess(1);
    case StartupVerdict::kQuietExitNoRights:
      ExitProcess(0);
  }

  StandInSetup setup;
  if (!argumentsOk || PrepareStandIns(options, &setup, &complaint) != SetupFault::kNone) {
    const std::u16string text = ToUtf16(complaint);
    const std::u16string caption(Text(TextId::kCaptionError));
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                reinterpret_cast<const wchar_t*>(caption.c_str()), MB_ICONERROR);
    CloseHandle(mutex);
    return 2;
  }
  ConfigSystem& config = setup.Config();
  LoadFilterTags(config);
  LoadRecentOpens(config);
  LoadHotkey(config);
  std::unique_ptr<DriveSystem> drives = std::move(setup.drives);
  if (!drives) drives = std::make_unique<Win32DriveSystem>();

  // The tooltip class lives in the common controls.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterMainWindowClass(instance);
  HWND window = CreateMainWindow(instance, *drives, config);
  if (!window) {
    CloseHandle(mutex);
    return 1;
  }
  ShowWindow(window, hidden ? SW_HIDE : showCommand);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  // After a normal exit the list is already empty; this covers a loop that ended otherwise.
  StopDrives(mainWindowState);
  Sleep(500);
  CloseHandle(mutex);
  return 0;
}

}  // namespace
}  // namespace qm

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return qm::Run(instance, showCommand);
}
