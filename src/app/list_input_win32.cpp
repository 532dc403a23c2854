// The result list's mouse, wheel, scroll-bar and key messages, the tooltip and the context
// menu: the window procedure hands these messages here. What each one decides is in
// app/list_input.h and app/list_menu.h; this file captures, moves, tracks and repaints.
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <string>

#include "app/list_input.h"
#include "app/list_menu.h"
#include "app/main_window_win32.h"
#include "app/popup_menu_win32.h"
#include "platform/clipboard.h"
#include "platform/message_box.h"
#include "platform/shell_actions.h"
#include "shell/hotkey.h"

namespace qm {

namespace {

TTTOOLINFOW ListTool(const MainWindow& w) {
  TTTOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the common controls
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = w.window;
  tool.uId = 0;
  return tool;
}

void HideTooltip(const MainWindow& w) {
  if (!w.tooltip) return;
  TTTOOLINFOW tool = ListTool(w);
  SendMessageW(w.tooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void ShowTooltip(const MainWindow& w, const std::u16string& text) {
  if (!w.tooltip) return;
  TTTOOLINFOW tool = ListTool(w);
  tool.lpszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text.c_str()));
  SendMessageW(w.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  POINT at;
  GetCursorPos(&at);
  SendMessageW(w.tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y + 20));
  SendMessageW(w.tooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void RepaintAll(const MainWindow& w) {
  InvalidateRect(w.window, nullptr, FALSE);
}

void ScrollTo(MainWindow& w, int64_t offset) {
  if (!SetScrollOffset(w.model, offset)) return;
  UpdateScrollBar(w);
  InvalidateList(w, false);
}

FileActionContext ActionContext(MainWindow& w) {
  return FileActionContext{
      *w.config, SystemMessageBoxes(), SystemShellActions(), SystemClipboard(), w.window, [&w] {
        return SearchBoxText(w);
      }};
}

void RunAction(MainWindow& w, FileAction action) {
  RunFileAction(ActionContext(w), int32_t(action), w.model.selectedRow);
}

void ShowListMenu(MainWindow& w, bool rowHit) {
  const int command = TrackPopup(w.window, ListMenuEntries(rowHit));
  RunListMenuCommand(ActionContext(w), command, w.model.selectedRow,
                     [&w] { BeginHotkeyCapture(HotkeyCapture(w)); });
}

void OnVerticalScroll(MainWindow& w, int code) {
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(w.window, SB_VERT, &info);
  const ScrollBarReading bar = {info.nMax, info.nPage, info.nTrackPos};
  std::optional<ScrollTrack> track;
  if (code == SB_PAGEUP || code == SB_PAGEDOWN) {
    SCROLLBARINFO geometry = {};
    geometry.cbSize = sizeof(geometry);
    if (GetScrollBarInfo(w.window, OBJID_VSCROLL, &geometry)) {
      POINT cursor;
      GetCursorPos(&cursor);
      track = ScrollTrack{geometry.rcScrollBar.top, geometry.rcScrollBar.bottom,
                          GetSystemMetrics(SM_CYVSCROLL), cursor.y};
    }
  }
  const std::optional<int64_t> target = ScrollTarget(w.model, code, bar, track);
  if (target) ScrollTo(w, *target);
  if (code == SB_ENDSCROLL) RepaintAll(w);
}

bool OnKey(MainWindow& w, WPARAM key) {
  if (GetFocus() == w.searchBox) return false;
  const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const KeyOutcome outcome = ListKeyDown(w.model, uint32_t(key), ctrl, shift);
  if (outcome.moved) {
    UpdateScrollBar(w);
    RepaintAll(w);
  }
  if (outcome.focusSearchBox) {
    // Back in the box the caret stands after the text, ready to refine the query.
    SetFocus(w.searchBox);
    const int length = GetWindowTextLengthW(w.searchBox);
    SendMessageW(w.searchBox, EM_SETSEL, length, length);
  }
  if (outcome.action) RunAction(w, *outcome.action);
  return outcome.handled;
}

}  // namespace

void AddListTooltipTool(const MainWindow& w) {
  if (!w.tooltip) return;
  TTTOOLINFOW tool = ListTool(w);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(w.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool FocusListFromSearchBox(MainWindow& w) {
  if (!EnterListFromSearchBox(w.model)) return false;
  SetFocus(w.window);
  UpdateScrollBar(w);
  RepaintAll(w);
  return true;
}

bool HandleListMessage(MainWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int32_t x = GET_X_LPARAM(lParam);
  const int32_t y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_LBUTTONDOWN:
      switch (ListButtonDown(w.model, x, y)) {
        case ListClick::kSelected:
          SetFocus(w.window);  // the list's keys reach the window
          RepaintAll(w);
          break;
        case ListClick::kResizeStarted:
          SetCapture(w.window);
          break;
        case ListClick::kSortStarted:
          RepaintAll(w);
          break;
        case ListClick::kNothing:
          break;
      }
      return true;
    case WM_MOUSEMOVE: {
      if (w.model.resize.active) {
        if (ResizeColumnTo(w.model, int16_t(LOWORD(lParam)))) RepaintAll(w);
        return true;
      }
      const HoverChange change = ListHover(w.model, x, y);
      if (change.kind == HoverChange::kHide) HideTooltip(w);
      if (change.kind == HoverChange::kShow) ShowTooltip(w, change.text);
      TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, w.window, HOVER_DEFAULT};
      TrackMouseEvent(&track);
      return true;
    }
    case WM_MOUSELEAVE:
      ListMouseLeave(w.model);
      HideTooltip(w);
      return true;
    case WM_LBUTTONUP:
      if (ListButtonUp(w.model)) ReleaseCapture();
      return true;
    case WM_CAPTURECHANGED:
      // Another window took the mouse during a drag: the drag ends where it is.
      ListButtonUp(w.model);
      return true;
    case WM_LBUTTONDBLCLK:
      if (ListDoubleClick(w.model, x, y)) {
        RepaintAll(w);
        RunAction(w, FileAction::kOpenItem);
      }
      return true;
    case WM_RBUTTONUP: {
      const bool rowHit = ListRightClick(w.model, x, y);
      if (rowHit) {
        SetFocus(w.window);
        InvalidateList(w, false);
      }
      ShowListMenu(w, rowHit);
      return true;
    }
    case WM_VSCROLL:
      OnVerticalScroll(w, LOWORD(wParam));
      return true;
    case WM_MOUSEWHEEL:
      ScrollTo(w, WheelTarget(w.model, GET_WHEEL_DELTA_WPARAM(wParam)));
      return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return OnKey(w, wParam);
    default:
      return false;
  }
}

bool SetListCursor(const MainWindow& w, LPARAM hitTest) {
  if (!w.model.resize.active && LOWORD(hitTest) != HTCLIENT) return false;
  POINT at;
  GetCursorPos(&at);
  ScreenToClient(w.window, &at);
  const bool resize = CursorAt(w.model, at.x, at.y) == ListCursor::kSizeWE;
  SetCursor(LoadCursorW(nullptr, resize ? IDC_SIZEWE : IDC_ARROW));
  return true;
}

}  // namespace qm
