// Pop-up menus of the main window: the list's context menu and the tray menu.
#pragma once

#include <windows.h>

#include <vector>

#include "base/menu_entry.h"

namespace qm {

// Builds the menu, tracks it at the cursor with TPM_RETURNCMD | TPM_RIGHTBUTTON, owned by
// `owner`, and destroys it. The chosen command; 0 when the menu was dismissed.
int TrackPopup(HWND owner, const std::vector<MenuEntry>& entries);

}  // namespace qm
