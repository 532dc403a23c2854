#include "app/main_window_win32.h"

#include <commctrl.h>

#include <chrono>
#include <string>
#include <string_view>
#include <system_error>

#include "app/control_layout.h"
#include "app/popup_menu_win32.h"
#include "app/window_model.h"
#include "app/window_texts.h"
#include "base/main_window.h"
#include "base/shutting_down.h"
#include "base/texts.h"
#include "base/window_messages.h"
#include "config/filter_tags.h"
#include "index/drive_list.h"
#include "platform/message_box.h"
#include "platform/message_poster_win32.h"
#include "platform/shell_actions.h"
#include "search/filter_view.h"
#include "search/search.h"
#include "shell/auto_start.h"
#include "view/recent_opens.h"

namespace qm {

MainWindow mainWindowState;

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string WindowText(HWND control, int units) {
  std::wstring buffer(size_t(units), L'\0');
  const int length = GetWindowTextW(control, buffer.data(), units);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                        size_t(length > 0 ? length : 0));
}

HFONT MakeFont(int height, int weight) {
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                     L"Microsoft YaHei UI");
}

void SetFont(HWND control, HFONT font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HWND MakeControl(HWND parent, DWORD exStyle, const wchar_t* className, const wchar_t* text,
                 DWORD style, const ControlRect& at, int id) {
  return CreateWindowExW(exStyle, className, text, style, at.x, at.y, at.width, at.height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                         nullptr);
}

void MoveControl(HWND control, const ControlRect& to) {
  SetWindowPos(control, nullptr, to.x, to.y, to.width, to.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Measures each button's text with the button font, as the button draws it.
int32_t MeasureButtonText(const MainWindow& w, HWND button) {
  wchar_t text[512];
  const int length = GetWindowTextW(button, text, 512);
  HDC dc = GetDC(button);
  HGDIOBJ previous = SelectObject(dc, w.buttonFont);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text, length, &size);
  SelectObject(dc, previous);
  ReleaseDC(button, dc);
  return size.cx;
}

void LayoutTagButtons(const MainWindow& w) {
  std::vector<int32_t> widths;
  widths.reserve(w.tagButtons.size());
  for (HWND button : w.tagButtons) widths.push_back(MeasureButtonText(w, button));
  const std::vector<ButtonPlacement> placements = qm::LayoutTagButtons(widths, w.model.clientWidth);
  for (size_t i = 0; i < placements.size(); ++i) {
    const ButtonPlacement& p = placements[i];
    if (p.visible) {
      SetWindowPos(w.tagButtons[i], nullptr, p.rect.x, p.rect.y, p.rect.width, p.rect.height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
      SetWindowPos(w.tagButtons[i], nullptr, 0, 0, 0, 0,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
  }
}

void RefreshTagCounts(const MainWindow& w, const std::vector<std::u16string>& texts) {
  for (size_t i = 0; i < w.tagButtons.size() && i < texts.size(); ++i) {
    SetWindowTextW(w.tagButtons[i], Wide(texts[i]));
    SetWindowPos(w.tagButtons[i], nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  LayoutTagButtons(w);
}

void SelectTag(const MainWindow& w, int32_t index) {
  // The selected tag wears the default-button look.
  for (size_t j = 0; j < w.tagButtons.size(); ++j) {
    HWND button = w.tagButtons[j];
    LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    style =
        int32_t(j) == index ? (style | BS_DEFPUSHBUTTON) : (style & ~LONG_PTR(BS_DEFPUSHBUTTON));
    SetWindowLongPtrW(button, GWL_STYLE, style);
    SetWindowPos(button, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  ApplyTagSelection(index);
}

// Offers a key to the hotkey capture; true when the capture took it.
bool HandleCaptureKey(MainWindow& w, UINT message, WPARAM key) {
  return HandleCaptureKey(HotkeyCapture(w), message, uint32_t(key));
}

void UpdateTip(MainWindow& w) {
  UpdateTrayTip(w.tray, SystemNotificationArea(), HotkeyToText(SystemHotkeys()));
}

// The tray icon is sent again with each show: that also repairs an icon the shell lost.
void ShowMainWindow(MainWindow& w) {
  AddOrUpdateTrayIcon(w.tray, SystemNotificationArea(), w.window, true,
                      HotkeyToText(SystemHotkeys()));
  ShowWindow(w.window, SW_SHOW);
  SetForegroundWindow(w.window);
}

void ShowTrayMenu(MainWindow& w) {
  const bool autoStart = IsAutoStartEnabled(SystemProcesses());
  // In the foreground, the menu closes when the user clicks elsewhere.
  SetForegroundWindow(w.window);
  switch (TrackPopup(w.window, TrayMenuEntries(autoStart))) {
    case kTrayHomepage: {
      ShellExecuteInfo info;
      info.verb = u"open";
      info.file = HomepageAddress();
      SystemShellActions().Execute(info);
      break;
    }
    case kTrayRunOnStartup:
      ToggleAutoStart(SystemProcesses(), SystemMessageBoxes(), w.window);
      break;
    case kTraySetHotkey:
      BeginHotkeyCapture(HotkeyCapture(w));
      break;
    case kTrayClearRecent:
      ClearRecentOpens(*w.config);
      RefreshEmptyQuery(SearchBoxText(w));
      break;
    case kTrayShowWindow:
      ShowMainWindow(w);
      break;
    case kTrayExit:
      w.exitRequested = true;
      PostMessageW(w.window, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK SearchBoxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow& w = mainWindowState;
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
    if (HandleCaptureKey(w, message, wParam)) return 0;
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
      SearchTextEntered(SearchBoxText(w));
      return 0;
    }
    if (message == WM_KEYDOWN && wParam == VK_DOWN && FocusListFromSearchBox(w)) return 0;
  }
  // The Enter that started a search is not typed into the box (a single-line box would beep).
  if (message == WM_CHAR && (wParam == L'\r' || wParam == L'\n')) return 0;
  return CallWindowProcW(w.searchBoxProcedure, box, message, wParam, lParam);
}

void CreateControls(MainWindow& w) {
  w.driveBox = MakeControl(w.window, 0, L"COMBOBOX", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                           kDriveBoxAtCreation, kDriveBoxId);
  SetFont(w.driveBox, w.inputFont);
  SendMessageW(w.driveBox, CB_SETITEMHEIGHT, WPARAM(-1), 24);

  w.searchBox =
      MakeControl(w.window, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                  kSearchBoxAtCreation, kSearchBoxId);
  SetFont(w.searchBox, w.inputFont);
  EnableWindow(w.searchBox, FALSE);
  w.searchBoxProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w.searchBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SearchBoxProcedure)));

  const FilterTagsSnapshot tags = filterTags.Snapshot();
  for (size_t i = 0; i < tags->size(); ++i) {
    HWND button =
        MakeControl(w.window, 0, L"BUTTON", Wide((*tags)[i].label), WS_CHILD | WS_VISIBLE | BS_FLAT,
                    TagButtonAtCreation(i), kFirstTagButtonId + int(i));
    SetWindowLongPtrW(button, GWL_EXSTYLE,
                      GetWindowLongPtrW(button, GWL_EXSTYLE) | WS_EX_COMPOSITED);
    SetFont(button, w.buttonFont);
    w.tagButtons.push_back(button);
  }

  w.statusLine = MakeControl(w.window, 0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT,
                             kStatusLineAtCreation, kStatusLineId);
  SetFont(w.statusLine, w.listFont);

  w.tooltip = CreateWindowExW(
      0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_BALLOON, 0, 0, 0, 0, w.window,
      nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(w.window, GWLP_HINSTANCE)), nullptr);
  if (w.tooltip) SendMessageW(w.tooltip, TTM_SETMAXTIPWIDTH, 0, 600);
  AddListTooltipTool(w);
}

void OnCreate(MainWindow& w, HWND window) {
  w.window = window;
  // Lives as long as the process: workers may post until they end.
  static Win32MessagePoster poster(window);
  mainWindow.store(&poster);

  HDC dc = GetDC(window);
  w.backBuffer = CreateCompatibleDC(dc);
  ReleaseDC(window, dc);
  w.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");

  w.listFont = MakeFont(-14, FW_NORMAL);
  w.headerFont = MakeFont(-13, FW_BOLD);
  w.inputFont = MakeFont(-18, FW_NORMAL);
  w.buttonFont = MakeFont(-14, FW_NORMAL);
  CreateControls(w);

  // The shell may not be ready yet (a start at log-on): the retry timer adds the icon later.
  w.tray.record.window = window;
  w.tray.record.icon = SystemNotificationArea().LoadTrayIcon();
  AddOrUpdateTrayIcon(w.tray, SystemNotificationArea(), window, false,
                      HotkeyToText(SystemHotkeys()));
  if (RegisterHotkey(SystemHotkeys(), window)) UpdateTip(w);

  SetWindowTextW(window, Wide(std::u16string(Text(TextId::kTitleInitializing))));
  try {
    w.discovery = std::thread([&drives = *w.drives] { DiscoverDrives(driveList, drives, poster); });
  } catch (const std::system_error&) {
    // Without a discovery thread no drive can be indexed: as when none is NTFS.
    PostMessageW(window, WM_INDEX_READY, 1, 0);
  }
}

void OnSize(MainWindow& w, int32_t width, int32_t height) {
  if (!ResizeList(w.model, width, height)) return;
  HDC dc = GetDC(w.window);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  ReleaseDC(w.window, dc);
  HGDIOBJ previous = SelectObject(w.backBuffer, bitmap);
  if (!w.initialBitmap) w.initialBitmap = static_cast<HBITMAP>(previous);
  if (w.backBitmap) DeleteObject(w.backBitmap);
  w.backBitmap = bitmap;

  const ControlRects rects = ControlRectsFor(width);
  MoveControl(w.driveBox, rects.driveBox);
  MoveControl(w.searchBox, rects.searchBox);
  MoveControl(w.statusLine, rects.statusLine);
  LayoutTagButtons(w);
  // The offset was clamped to the new height; the page size follows it too.
  UpdateScrollBar(w);
  InvalidateRect(w.window, nullptr, FALSE);
}

void OnIndexReady(MainWindow& w, WPARAM noDrive) {
  if (noDrive) {
    MessageBoxW(w.window, Wide(std::u16string(Text(TextId::kNoNtfsSupport))),
                Wide(std::u16string(Text(TextId::kCaptionNoNtfs))), MB_ICONERROR);
    ExitProcess(1);
  }
  SendMessageW(w.driveBox, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& item : DriveBoxItems()) {
    SendMessageW(w.driveBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item)));
  }
  SendMessageW(w.driveBox, CB_SETCURSEL, 0, 0);
  SetWindowTextW(w.window, Wide(IdleTitle()));
  EnableWindow(w.searchBox, TRUE);
  SetFocus(w.searchBox);
  StartSearch(std::u16string(), false, true);
}

void ShowTexts(MainWindow& w, const ShownTexts& shown) {
  SetWindowTextW(w.window, Wide(shown.title));
  SetWindowTextW(w.statusLine, Wide(shown.status));
}

void OnSearchDone(MainWindow& w, WPARAM generation, LPARAM keep) {
  const std::optional<ShownTexts> shown = AcceptSearchDone(w.model, generation, keep == 1);
  if (!shown) return;
  ShowTexts(w, *shown);
  RefreshTagCounts(w, shown->tagTexts);
  UpdateScrollBar(w);
  InvalidateList(w, true);
}

void OnFilterDone(MainWindow& w) {
  ShowTexts(w, AcceptFilterDone());
  UpdateScrollBar(w);
  InvalidateList(w, true);
}

void OnCommand(MainWindow& w, WPARAM wParam, LPARAM /*lParam*/) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (id == kSearchBoxId && code == EN_CHANGE) {
    SearchTextChanged(SearchBoxText(w));
  } else if (id == kDriveBoxId && code == CBN_SELCHANGE) {
    const LRESULT selection = SendMessageW(w.driveBox, CB_GETCURSEL, 0, 0);
    DriveSelectionChanged(int32_t(selection), SearchBoxText(w));
  } else if (code == BN_CLICKED && id >= kFirstTagButtonId) {
    SelectTag(w, id - kFirstTagButtonId);
  }
}

// Ends the program from the window: the workers and the drives stop, the message loop ends.
void OnDestroy(MainWindow& w) {
  RemoveTrayIcon(w.tray, SystemNotificationArea());
  UnregisterHotKey(w.window, kHotkeyShowHide);
  StopDrives(w);
  Sleep(500);
  PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow& w = mainWindowState;
  if (w.taskbarCreatedMessage != 0 && message == w.taskbarCreatedMessage) {
    // Explorer restarted: its new taskbar does not know the icon.
    TrayIconLost(w.tray, SystemNotificationArea(), window, HotkeyToText(SystemHotkeys()));
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      OnCreate(w, window);
      return 0;
    case WM_SIZE:
      OnSize(w, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintResultList(w, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole client area
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
      OnCommand(w, wParam, lParam);
      return 0;
    case WM_INDEX_READY:
      OnIndexReady(w, wParam);
      return 0;
    case WM_SEARCH_DONE:
      OnSearchDone(w, wParam, lParam);
      return 0;
    case WM_SET_TITLE:
      if (auto title = AcceptSetTitle(wParam, reinterpret_cast<char16_t*>(lParam))) {
        SetWindowTextW(window, Wide(*title));
      }
      return 0;
    case WM_FILTER_DONE:
      OnFilterDone(w);
      return 0;
    case WM_CLOSE:
      if (w.exitRequested) {
        DestroyWindow(window);
      } else {
        ShowWindow(window, SW_HIDE);
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        ShowWindow(window, SW_HIDE);
        return 0;
      }
      break;
    case WM_ENDSESSION:
      // The session ends: leave as Exit does, so no worker is cut off while it writes.
      if (wParam) {
        w.exitRequested = true;
        DestroyWindow(window);
      }
      return 0;
    case WM_HOTKEY:
      if (wParam == kHotkeyShowHide) {
        if (IsWindowVisible(window)) {
          ShowWindow(window, SW_HIDE);
        } else {
          ShowMainWindow(w);
        }
      }
      return 0;
    case WM_TIMER:
      if (wParam != kTrayRetryTimer) break;
      AddOrUpdateTrayIcon(w.tray, SystemNotificationArea(), window, true,
                          HotkeyToText(SystemHotkeys()));
      return 0;
    case WM_TRAY_CALLBACK:
      if (LOWORD(lParam) == WM_RBUTTONUP) ShowTrayMenu(w);
      if (LOWORD(lParam) == WM_LBUTTONDBLCLK) ShowMainWindow(w);
      return 0;
    case WM_DESTROY:
      OnDestroy(w);
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == window && SetListCursor(w, lParam)) return TRUE;
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (HandleCaptureKey(w, message, wParam)) return 0;
      if (HandleListMessage(w, message, wParam, lParam)) return 0;
      break;
    default:
      if (HandleListMessage(w, message, wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void InvalidateList(const MainWindow& w, bool erase) {
  const RECT area = {0, kHeaderTop, w.model.clientWidth, w.model.clientHeight};
  InvalidateRect(w.window, &area, erase ? TRUE : FALSE);
}

HotkeyCaptureContext HotkeyCapture(MainWindow& w) {
  return HotkeyCaptureContext{
      SystemHotkeys(),
      *w.config,
      SystemMessageBoxes(),
      w.window,
      [&w](std::u16string_view text) { SetWindowTextW(w.statusLine, Wide(std::u16string(text))); },
      [&w] {
        ShowWindow(w.window, SW_SHOW);
        SetForegroundWindow(w.window);
        SetFocus(w.window);
      },
      [&w] { UpdateTip(w); }};
}

void UpdateScrollBar(const MainWindow& w) {
  const ScrollBarState state = CurrentScrollBar(w.model);
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = state.max;
  info.nPage = state.page;
  info.nPos = state.pos;
  SetScrollInfo(w.window, SB_VERT, &info, TRUE);
}

std::u16string SearchBoxText(const MainWindow& w) {
  return WindowText(w.searchBox, int(kSearchTextUnits) + 1);
}

void StopDrives(MainWindow& w) {
  shuttingDown.store(true);
  // Discovery stops its builds early once shuttingDown is set, and publishes nothing.
  if (w.discovery.joinable()) w.discovery.join();
  ReleaseDrives(driveList);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 32, 32, 0));
  if (!windowClass.hIcon) windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, DriveSystem& drives, ConfigSystem& config) {
  mainWindowState.drives = &drives;
  mainWindowState.config = &config;
  return CreateWindowExW(0, kMainWindowClass, Wide(std::u16string(Text(TextId::kTitleCreated))),
                         WS_OVERLAPPEDWINDOW | WS_VSCROLL, CW_USEDEFAULT, CW_USEDEFAULT, 1000, 600,
                         nullptr, nullptr, instance, nullptr);
}

}  // namespace qm
