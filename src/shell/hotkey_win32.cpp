#include <windows.h>

#include "shell/hotkey.h"

namespace qm {

namespace {

static_assert(WM_KEYDOWN == kMessageKeyDown && WM_SYSKEYDOWN == kMessageSysKeyDown);
static_assert(VK_SHIFT == kVkShift && VK_CONTROL == kVkControl && VK_MENU == kVkMenu);
static_assert(VK_ESCAPE == kVkEscape && VK_LWIN == kVkLeftWin && VK_RWIN == kVkRightWin);
static_assert(MOD_ALT == kModAlt && MOD_CONTROL == kModControl && MOD_SHIFT == kModShift &&
              MOD_WIN == kModWin);

class Win32Hotkeys final : public HotkeySystem {
 public:
  bool Register(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) override {
    return RegisterHotKey(static_cast<HWND>(window), id, modifiers, key) != FALSE;
  }
  void Unregister(WindowHandle window, int32_t id) override {
    UnregisterHotKey(static_cast<HWND>(window), id);
  }
  std::u16string KeyName(uint32_t key) override {
    const UINT scanCode = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    wchar_t name[64] = {};
    const int length = GetKeyNameTextW(LONG(scanCode << 16), name, 64);
    if (length <= 0) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(name), size_t(length));
  }
  bool KeyHeld(uint32_t key) override { return (GetKeyState(int(key)) & 0x8000) != 0; }
};

}  // namespace

HotkeySystem& SystemHotkeys() {
  static Win32Hotkeys hotkeys;
  return hotkeys;
}

}  // namespace qm
