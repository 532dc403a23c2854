#include "shell/tray_icon.h"

#include "base/texts.h"

namespace qm {

std::u16string TrayTipText(std::u16string_view hotkeyName) {
  std::u16string tip(Text(TextId::kProductName));
  tip += u" - ";
  tip += hotkeyName;
  tip += Text(TextId::kTrayTipShowHide);
  if (tip.size() > kTrayTipUnits) tip.resize(kTrayTipUnits);
  return tip;
}

void UpdateTrayTip(TrayIcon& tray, NotificationArea& area, std::u16string_view hotkeyName) {
  tray.record.tip = TrayTipText(hotkeyName);
  if (tray.added && tray.record.window) area.Modify(tray.record);
}

bool AddOrUpdateTrayIcon(TrayIcon& tray, NotificationArea& area, WindowHandle window, bool reload,
                         std::u16string_view hotkeyName) {
  tray.record.window = window;
  if (reload) tray.record.icon = area.LoadTrayIcon();
  UpdateTrayTip(tray, area, hotkeyName);
  if (!tray.added) {
    tray.added = area.Add(tray.record);
    if (tray.added) area.Modify(tray.record);
  } else {
    area.Modify(tray.record);
  }
  if (tray.added) {
    area.KillRetryTimer(window);
  } else {
    area.SetRetryTimer(window);  // the shell may not be ready yet
  }
  return tray.added;
}

bool TrayIconLost(TrayIcon& tray, NotificationArea& area, WindowHandle window,
                  std::u16string_view hotkeyName) {
  tray.added = false;
  return AddOrUpdateTrayIcon(tray, area, window, true, hotkeyName);
}

void RemoveTrayIcon(TrayIcon& tray, NotificationArea& area) {
  area.KillRetryTimer(tray.record.window);
  area.Delete(tray.record);
  tray.added = false;
}

std::vector<MenuEntry> TrayMenuEntries(bool autoStart) {
  return {
      {kTrayHomepage, TextId::kMenuHomepage, false, false},
      {kTrayRunOnStartup, TextId::kMenuRunOnStartup, false, autoStart},
      {kTraySetHotkey, TextId::kMenuSetHotkey, false, false},
      {kTrayClearRecent, TextId::kMenuClearRecent, false, false},
      {kTrayShowWindow, TextId::kMenuShowWindow, false, false},
      {0, TextId::kCount, false, false},
      {kTrayExit, TextId::kMenuExit, false, false},
  };
}

std::u16string HomepageAddress() {
  std::u16string address = u"https://";
  address += Text(TextId::kHomepageHost);
  address += u"/quillmarsh";
  return address;
}

}  // namespace qm
