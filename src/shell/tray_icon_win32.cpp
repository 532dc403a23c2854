#include <windows.h>

#include <shellapi.h>

#include <algorithm>

#include "base/window_messages.h"
#include "shell/tray_icon.h"

namespace qm {

namespace {

constexpr int kIconResource = 104;

// The record as the shell takes it; everything not set here is zero.
NOTIFYICONDATAW Record(const TrayIconRecord& record) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = static_cast<HWND>(record.window);
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_CALLBACK;
  data.hIcon = static_cast<HICON>(record.icon);
  const size_t units = std::min(record.tip.size(), size_t(std::size(data.szTip)) - 1);
  std::copy_n(record.tip.data(), units, data.szTip);
  return data;
}

class Win32NotificationArea final : public NotificationArea {
 public:
  bool Add(const TrayIconRecord& record) override {
    NOTIFYICONDATAW data = Record(record);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  }
  bool Modify(const TrayIconRecord& record) override {
    NOTIFYICONDATAW data = Record(record);
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
  }
  void Delete(const TrayIconRecord& record) override {
    NOTIFYICONDATAW data = Record(record);
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  void* LoadTrayIcon() override {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                             16, 16, 0);
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    return icon;
  }
  void SetRetryTimer(WindowHandle window) override {
    SetTimer(static_cast<HWND>(window), kTrayRetryTimer, kTrayRetryMs, nullptr);
  }
  void KillRetryTimer(WindowHandle window) override {
    KillTimer(static_cast<HWND>(window), kTrayRetryTimer);
  }
};

}  // namespace

NotificationArea& SystemNotificationArea() {
  static Win32NotificationArea area;
  return area;
}

}  // namespace qm
