#include "app/popup_menu_win32.h"

#include <string>

namespace qm {

int TrackPopup(HWND owner, const std::vector<MenuEntry>& entries) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return 0;
  for (const MenuEntry& entry : entries) {
    if (entry.command == 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::u16string text(Text(entry.text));
    const UINT flags =
        MF_STRING | (entry.grayed ? MF_GRAYED : 0u) | (entry.checked ? MF_CHECKED : 0u);
    AppendMenuW(menu, flags, entry.command, reinterpret_cast<const wchar_t*>(text.c_str()));
  }
  POINT at;
  GetCursorPos(&at);
  const int command =
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
  DestroyMenu(menu);
  return command;
}

}  // namespace qm
