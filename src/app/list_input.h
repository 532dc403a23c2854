// What the result list does with the mouse, the wheel, the scroll bar and the keyboard: the
// selection, the hover cell, a column resize, a sort by a header click and the scroll offset.
// The Win32 window procedure passes each message's numbers here and then captures the mouse,
// moves the tooltip, sets the scroll bar and repaints as the answers say.
//
// Everything here runs on the window thread. Handlers that map a row to an entry take the
// display list first and only use rows below its size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/window_model.h"
#include "search/results.h"
#include "view/file_actions.h"

namespace qm {

// WM_LBUTTONDOWN at client (x, y).
enum class ListClick {
  kNothing,
  kSelected,       // a row: the window takes the focus and repaints
  kResizeStarted,  // a header border: the window captures the mouse
  kSortStarted,    // a sortable header: the window repaints its header
};
ListClick ListButtonDown(WindowModel& model, int32_t x, int32_t y);

// WM_MOUSEMOVE during a resize, x as a signed 16-bit value. True when the column's width
// changed (the Path column follows; the window repaints).
bool ResizeColumnTo(WindowModel& model, int16_t x);

// WM_LBUTTONUP: true when a resize ended (the window releases the capture).
bool ListButtonUp(WindowModel& model);

// WM_MOUSEMOVE without a resize: what happens to the tooltip.
struct HoverChange {
  enum Kind { kKeep, kHide, kShow } kind = kKeep;
  std::u16string text;  // for kShow
};
HoverChange ListHover(WindowModel& model, int32_t x, int32_t y);

// WM_MOUSELEAVE: the hover cell is forgotten (the window hides the tooltip).
void ListMouseLeave(WindowModel& model);

// The tooltip text of one cell: "#" none, Name the record's name, Size none for a folder,
// Modified and Created the formatted times, Path the full path.
std::u16string HoverText(const MatchItem& item, int column);

// WM_LBUTTONDBLCLK: true when a row was hit and selected (the window opens it).
bool ListDoubleClick(WindowModel& model, int32_t x, int32_t y);

// WM_RBUTTONUP: true when a row was hit and selected (the menu's file items are enabled).
bool ListRightClick(WindowModel& model, int32_t x, int32_t y);

// WM_SETCURSOR for the client area.
enum class ListCursor { kArrow, kSizeWE };
ListCursor CursorAt(const WindowModel& model, int32_t x, int32_t y);

// WM_VSCROLL. The scroll bar as read before the request, and, for a click in the track, the
// bar's geometry in screen coordinates (none when GetScrollBarInfo failed).
inline constexpr int kScrollLineUp = 0;      // SB_LINEUP
inline constexpr int kScrollLineDown = 1;    // SB_LINEDOWN
inline constexpr int kScrollPageUp = 2;      // SB_PAGEUP
inline constexpr int kScrollPageDown = 3;    // SB_PAGEDOWN
inline constexpr int kScrollThumbTrack = 5;  // SB_THUMBTRACK
inline constexpr int kScrollEnd = 8;         // SB_ENDSCROLL
struct ScrollBarReading {
  int32_t max = 0;
  uint32_t page = 0;
  int32_t trackPos = 0;
};
struct ScrollTrack {
  int32_t barTop = 0;
  int32_t barBottom = 0;
  int32_t arrowHeight = 0;  // SM_CYVSCROLL
  int32_t cursorY = 0;
};
// The offset to scroll to, none when the position stays. Sets or clears thumbTracking; after
// kScrollEnd the window repaints the whole client area.
std::optional<int64_t> ScrollTarget(WindowModel& model, int code, const ScrollBarReading& bar,
                                    const std::optional<ScrollTrack>& track);

// WM_MOUSEWHEEL: one notch (120) moves 100 pixels, up for a positive delta.
int64_t WheelTarget(const WindowModel& model, int32_t delta);

// Keys. The window offers WM_KEYDOWN / WM_SYSKEYDOWN here when the focus is not in the
// search box and the hotkey capture declined the key.
inline constexpr uint32_t kKeyEnter = 0x0D;
inline constexpr uint32_t kKeyEscape = 0x1B;
inline constexpr uint32_t kKeyPageUp = 0x21;
inline constexpr uint32_t kKeyPageDown = 0x22;
inline constexpr uint32_t kKeyEnd = 0x23;
inline constexpr uint32_t kKeyHome = 0x24;
inline constexpr uint32_t kKeyUp = 0x26;
inline constexpr uint32_t kKeyDown = 0x28;
inline constexpr uint32_t kKeyDelete = 0x2E;
struct KeyOutcome {
  bool handled = false;              // false: the default procedure gets the key
  bool moved = false;                // the selection or the offset changed: repaint
  bool focusSearchBox = false;       // the focus goes back to the search box
  std::optional<FileAction> action;  // run on the selected row
};
KeyOutcome ListKeyDown(WindowModel& model, uint32_t key, bool ctrl, bool shift);

// Down in the search box: true when the list has rows, the first (or the valid current) row
// is selected and in view, and the focus moves to the list.
bool EnterListFromSearchBox(WindowModel& model);

}  // namespace qm
