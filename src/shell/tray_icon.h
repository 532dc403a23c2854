// The notification-area icon of the main window: one icon record kept for the whole run, added
// when the shell accepts it (a 1500 ms timer retries while it does not), modified when the
// hotkey or the icon changes, added again when Explorer recreates its taskbar, deleted when
// the window is destroyed. Also the tray menu's items and the homepage's address.
//
// Everything here runs on the window thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/menu_entry.h"
#include "platform/message_box.h"

namespace qm {

inline constexpr uint32_t kTrayIconId = 1;
inline constexpr uint32_t kTrayRetryTimer = 30002;
inline constexpr uint32_t kTrayRetryMs = 1500;
inline constexpr size_t kTrayTipUnits = 127;  // the 128-unit tip field less its NUL

// Tray menu commands.
inline constexpr uint32_t kTrayShowWindow = 20001;
inline constexpr uint32_t kTrayExit = 20002;
inline constexpr uint32_t kTrayHomepage = 20004;
inline constexpr uint32_t kTrayRunOnStartup = 20005;
inline constexpr uint32_t kTrayClearRecent = 20006;
inline constexpr uint32_t kTraySetHotkey = 20007;

// The fields of the icon record that change; the rest (id 1, NIF_MESSAGE | NIF_ICON | NIF_TIP,
// the callback message WM_TRAY_CALLBACK) are fixed.
struct TrayIconRecord {
  WindowHandle window = nullptr;
  void* icon = nullptr;  // an HICON
  std::u16string tip;
};

// Shell_NotifyIconW, the icon resource and the retry timer.
class NotificationArea {
 public:
  virtual ~NotificationArea() = default;
  virtual bool Add(const TrayIconRecord& record) = 0;     // NIM_ADD
  virtual bool Modify(const TrayIconRecord& record) = 0;  // NIM_MODIFY
  virtual void Delete(const TrayIconRecord& record) = 0;  // NIM_DELETE
  // Icon 104 at 16 x 16, else the system's application icon.
  virtual void* LoadTrayIcon() = 0;
  virtual void SetRetryTimer(WindowHandle window) = 0;  // timer 30002, 1500 ms (restarted)
  virtual void KillRetryTimer(WindowHandle window) = 0;
};

NotificationArea& SystemNotificationArea();  // the Windows build's

struct TrayIcon {
  TrayIconRecord record;
  bool added = false;  // the shell holds the icon
};

// "Quillmarsh - " + the hotkey's name + " Show/Hide", cut to 127 units.
std::u16string TrayTipText(std::u16string_view hotkeyName);

// Sets the tip and, when the icon is added and has a window, sends it (NIM_MODIFY).
void UpdateTrayTip(TrayIcon& tray, NotificationArea& area, std::u16string_view hotkeyName);

// Adds the icon, or modifies it when the shell holds it already; the retry timer runs exactly
// while the icon is not added. Returns whether it is added.
bool AddOrUpdateTrayIcon(TrayIcon& tray, NotificationArea& area, WindowHandle window, bool reload,
                         std::u16string_view hotkeyName);

// Explorer recreated the taskbar: the icon is gone there and is added again.
bool TrayIconLost(TrayIcon& tray, NotificationArea& area, WindowHandle window,
                  std::u16string_view hotkeyName);

// At window destruction: the timer stops and the icon is deleted.
void RemoveTrayIcon(TrayIcon& tray, NotificationArea& area);

// The tray menu, top to bottom; "Run on Startup" checked when `autoStart`.
std::vector<MenuEntry> TrayMenuEntries(bool autoStart);

// The homepage for the language in use: https://HOST/quillmarsh.
std::u16string HomepageAddress();

}  // namespace qm
