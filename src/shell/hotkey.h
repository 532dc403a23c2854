// The global show/hide hotkey: its combination (hotkey.ini, Alt+Z by default), its
// registration on the main window with a fallback to the previous combination, its name, and
// the capture mode in which the next key press becomes the new combination.
//
// Everything here runs on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "config/hotkey_file.h"
#include "platform/config_system.h"
#include "platform/message_box.h"

namespace qm {

inline constexpr int32_t kHotkeyShowHide = 30001;

// Key messages and keys the capture looks at (their Windows values).
inline constexpr uint32_t kMessageKeyDown = 0x0100;     // WM_KEYDOWN
inline constexpr uint32_t kMessageSysKeyDown = 0x0104;  // WM_SYSKEYDOWN
inline constexpr uint32_t kVkShift = 0x10;
inline constexpr uint32_t kVkControl = 0x11;
inline constexpr uint32_t kVkMenu = 0x12;  // Alt
inline constexpr uint32_t kVkEscape = 0x1B;
inline constexpr uint32_t kVkLeftWin = 0x5B;
inline constexpr uint32_t kVkRightWin = 0x5C;

// RegisterHotKey, UnregisterHotKey, the keyboard layout's key names and the keys held.
class HotkeySystem {
 public:
  virtual ~HotkeySystem() = default;
  virtual bool Register(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) = 0;
  virtual void Unregister(WindowHandle window, int32_t id) = 0;
  // The layout's name of the key (MapVirtualKeyW to its scan code, GetKeyNameTextW); empty
  // when the layout has none.
  virtual std::u16string KeyName(uint32_t key) = 0;
  // GetKeyState's high bit.
  virtual bool KeyHeld(uint32_t key) = 0;
};

HotkeySystem& SystemHotkeys();  // the Windows build's

extern HotkeySetting currentHotkey;  // the registered (or loaded) combination
extern bool hotkeyCapture;           // the next key press becomes the new combination

// Reads hotkey.ini into currentHotkey; a file that cannot be read keeps the defaults.
void LoadHotkey(ConfigSystem& config);

// At window creation: registers currentHotkey (once more after a failure, without a report).
// True when it was registered.
bool RegisterHotkey(HotkeySystem& system, WindowHandle window);

// Registers (modifiers, key) in place of the current combination. On success it becomes
// current and, with `save`, is written to hotkey.ini; on failure the previous combination is
// registered again and stays current.
bool ApplyHotkey(HotkeySystem& system, ConfigSystem& config, WindowHandle window,
                 uint32_t modifiers, uint32_t key, bool save);

// "Ctrl+", "Alt+", "Shift+", "Win+" as set, then the key's name: the layout's, else the
// letter or digit itself, else "Key".
std::u16string HotkeyToText(HotkeySystem& system, const HotkeySetting& hotkey);
std::u16string HotkeyToText(HotkeySystem& system);  // of currentHotkey

// What the capture reaches in the window.
struct HotkeyCaptureContext {
  HotkeySystem& system;
  ConfigSystem& config;
  MessageBoxes& boxes;
  WindowHandle window = nullptr;
  std::function<void(std::u16string_view)> setStatus;  // the status line's text
  std::function<void()> showWindow;                    // shown, in the foreground, with the focus
  std::function<void()> hotkeyChanged;                 // the tray tip names the new combination
};

// Capture mode on: the window is shown and the status line asks for the combination.
void BeginHotkeyCapture(const HotkeyCaptureContext& context);

// Offered every key press of the window and the search box first: true when the capture took
// it (Escape ends the capture; a modifier alone waits; a combination without Ctrl, Alt or
// Shift, or one the system refuses, keeps capturing after a message; an accepted one is saved
// and ends the capture).
bool HandleCaptureKey(const HotkeyCaptureContext& context, uint32_t message, uint32_t key);

}  // namespace qm
