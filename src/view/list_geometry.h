// The result list's geometry: where the header, the rows and the columns lie in the main
// window's client area, how a pixel offset maps onto the row-based scroll bar, and which row,
// column or header border lies under a point. Pure arithmetic; the window draws and moves
// things where these functions say.
#pragma once

#include <array>
#include <cstdint>

namespace qm {

// Everything above kHeaderTop belongs to the search bar, the tag buttons and the status line.
inline constexpr int32_t kHeaderTop = 160;
inline constexpr int32_t kListTop = 202;  // bottom of the 42-pixel header band; row 0 at offset 0
inline constexpr int32_t kRowHeight = 36;
inline constexpr int32_t kHeaderTextTop = 173;
inline constexpr int32_t kHeaderSeparatorTop = 170;
inline constexpr int32_t kHeaderSeparatorBottom = 192;
inline constexpr int32_t kHeaderClipInset = 5;
inline constexpr int32_t kCellTextInsetX = 15;
inline constexpr int32_t kCellTextInsetY = 10;
inline constexpr int32_t kCellClipInset = 10;
inline constexpr int32_t kIconInset = 10;
inline constexpr int32_t kIconSize = 16;
inline constexpr int32_t kIconShift = 22;  // the Name text moves right when an icon was drawn
inline constexpr int32_t kBorderGrab = 8;
inline constexpr int32_t kMinColumnWidth = 30;
inline constexpr int32_t kMinPathWidth = 200;
inline constexpr int32_t kWheelNotchPixels = 100;

inline constexpr int kColumns = 6;  // "#", Name, Size, Modified, Created, Path
using ColumnWidths = std::array<int32_t, kColumns>;
inline constexpr ColumnWidths kInitialColumnWidths = {60, 250, 120, 160, 160, 400};

// The sum of the widths of the columns before `column`.
int32_t ColumnLeft(const ColumnWidths& widths, int column);

// The Path column's width for a client width: what columns 0 to 4 leave, at least 200.
int32_t PathColumnWidth(const ColumnWidths& widths, int32_t clientWidth);

// The largest scroll offset for `rows` rows in a client area `clientHeight` high: the rows'
// height less the visible list height, never below 0.
int64_t ScrollLimit(uint64_t rows, int32_t clientHeight);

// `requested` raised to 0 and lowered to ScrollLimit.
int64_t ClampScrollOffset(int64_t requested, uint64_t rows, int32_t clientHeight);

// The window's vertical scroll bar counts rows; the offset itself is in pixels.
struct ScrollBarState {
  int32_t max = 0;    // last row (0 for an empty list)
  uint32_t page = 0;  // whole rows in the visible list height
  int32_t pos = 0;    // first visible row
};
ScrollBarState ScrollBarFor(uint64_t rows, int64_t scrollOffset, int32_t clientHeight);

// The rows one paint draws: [first, end), the first drawn with its top at firstTop (at most
// 36 pixels above kListTop; the header band covers what it overlaps). Empty when the client
// area is no taller than the band above the header.
struct PaintRows {
  uint64_t first = 0;
  uint64_t end = 0;
  int64_t firstTop = kListTop;
};
PaintRows RowsToPaint(int64_t scrollOffset, uint64_t rows, int32_t clientHeight);

// The row under client y: -1 above the list or past the last row.
int64_t RowAt(int32_t y, int64_t scrollOffset, uint64_t rows);

// The column under client x: -1 left of the list or beyond the last column.
int ColumnAt(int32_t x, const ColumnWidths& widths);

// The column (0 to 4) whose right border is within 8 pixels of (x, y) in the header band; -1
// when there is none. The Path column's right edge cannot be grabbed.
int HeaderBorderAt(int32_t x, int32_t y, const ColumnWidths& widths);

// The offset that brings `row` fully into view with the least movement (keyboard selection).
int64_t OffsetShowingRow(int64_t row, int64_t scrollOffset, uint64_t rows, int32_t clientHeight);

}  // namespace qm
