// What the main window decides, apart from drawing: the list state, what each worker message
// changes, which search each input starts, and what one paint of the list shows. The Win32
// window procedure calls these and then moves, sets and draws; the headless front end calls
// the same functions for its title, status and rows.
//
// Everything here runs on the window thread. The shared results are read under resultsMutex
// and filterMutex, one at a time, never together.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/results.h"
#include "view/list_geometry.h"
#include "view/list_rows.h"

namespace qm {

// A header border drag in progress.
struct ColumnResize {
  bool active = false;
  int column = -1;
  int32_t startX = 0;
  int32_t startWidth = 0;
};

// The list's interaction state and the client size it was laid out for.
struct WindowModel {
  ColumnWidths columnWidths = kInitialColumnWidths;  // [5] follows the client width
  int64_t scrollOffset = 0;                          // pixels; row r at 202 + 36 r - offset
  int64_t selectedRow = -1;                          // position in the display list; -1 none
  int64_t hoverRow = -1;                             // the cell under the pointer (tooltip)
  int32_t hoverColumn = -1;
  bool thumbTracking = false;  // the scroll thumb is dragged: cached properties only
  ColumnResize resize;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
};

// The search box holds at most this many units when the window reads it.
inline constexpr size_t kSearchTextUnits = 255;

// What the window shows after a worker message: the title, the status line and, after a new
// result list, the text of every tag button (empty otherwise).
struct ShownTexts {
  std::u16string title;
  std::u16string status;
  std::vector<std::u16string> tagTexts;
};

// WM_SIZE. False for a zero width or height (minimized): only the size is stored. Otherwise
// the Path column follows the width and the scroll offset is clamped to the new height.
bool ResizeList(WindowModel& model, int32_t width, int32_t height);

// SetScrollOffset: clamps `requested` to the display list; false when that changes nothing.
bool SetScrollOffset(WindowModel& model, int64_t requested);

// The main window's scroll bar for the current display list.
ScrollBarState CurrentScrollBar(const WindowModel& model);

// WM_SEARCH_DONE: nothing for a stale generation. Otherwise the filter-tag view is reset to
// the new list, and unless `keep` (a re-sort) the list scrolls to the top with no selection.
std::optional<ShownTexts> AcceptSearchDone(WindowModel& model, uint64_t generation, bool keep);

// WM_FILTER_DONE: the title keeps the full count, the status line shows the view's.
ShownTexts AcceptFilterDone();

// WM_SET_TITLE: the text for a current generation; the text is freed in every case.
std::optional<std::u16string> AcceptSetTitle(uint64_t generation, char16_t* text);

// The tag buttons' texts for the current result list, in tag order (`buttons` of them).
std::vector<std::u16string> TagButtonTexts(size_t buttons);

// The drive box after WM_INDEX_READY: "ALL", then every indexed drive in list order.
std::vector<std::u16string> DriveBoxItems();

// The search triggers. EN_CHANGE: an empty box shows the recent opens, a text beginning with
// "s:" waits for Enter, anything else searches at once.
void SearchTextChanged(std::u16string_view text);
// Enter in the search box: searches whatever the text begins with.
void SearchTextEntered(std::u16string_view text);
// CBN_SELCHANGE: stores the drive position and searches the box's text again.
void DriveSelectionChanged(int32_t selection, std::u16string_view text);

// One paint of the list: the snapshot it draws (held until the paint ends), the rows with
// their cells, the header labels, the column widths and the highlight term.
struct ListPaint {
  ResultList list;
  PaintRows rows;
  std::vector<RowCells> cells;  // rows.first to rows.end - 1
  std::array<std::u16string, kColumns> headers;
  ColumnWidths widths;
  std::u16string term;
};
// Nothing to paint (and nothing to copy) when the client area is no taller than 160 pixels.
std::optional<ListPaint> PrepareListPaint(const WindowModel& model,
                                          std::u16string_view searchBoxText);

}  // namespace qm
