#include "view/list_geometry.h"

#include <algorithm>
#include <limits>

namespace qm {

namespace {

// The height the rows have below the header; 0 when the window is no taller than the band.
int64_t VisibleListHeight(int32_t clientHeight) {
  return std::max<int64_t>(0, int64_t(clientHeight) - kListTop);
}

}  // namespace

int32_t ColumnLeft(const ColumnWidths& widths, int column) {
  int32_t left = 0;
  for (int k = 0; k < column && k < kColumns; ++k) left += widths[k];
  return left;
}

int32_t PathColumnWidth(const ColumnWidths& widths, int32_t clientWidth) {
  return std::max(kMinPathWidth, clientWidth - ColumnLeft(widths, kColumns - 1));
}

int64_t ScrollLimit(uint64_t rows, int32_t clientHeight) {
  // Far beyond any real list, and kept clear of overflow for any count.
  const uint64_t capped = std::min<uint64_t>(rows, uint64_t(1) << 40);
  return std::max<int64_t>(0, int64_t(capped) * kRowHeight - VisibleListHeight(clientHeight));
}

int64_t ClampScrollOffset(int64_t requested, uint64_t rows, int32_t clientHeight) {
  return std::clamp<int64_t>(requested, 0, ScrollLimit(rows, clientHeight));
}

ScrollBarState ScrollBarFor(uint64_t rows, int64_t scrollOffset, int32_t clientHeight) {
  constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
  ScrollBarState state;
  state.max = int32_t(
      std::min<int64_t>(rows == 0 ? 0 : int64_t(std::min<uint64_t>(rows, kIntMax)) - 1, kIntMax));
  // A window shorter than the header band has no page (rather than a negative one).
  state.page = uint32_t(VisibleListHeight(clientHeight) / kRowHeight);
  state.pos = int32_t(std::clamp<int64_t>(scrollOffset / kRowHeight, 0, kIntMax));
  return state;
}

PaintRows RowsToPaint(int64_t scrollOffset, uint64_t rows, int32_t clientHeight) {
  PaintRows paint;
  if (clientHeight - kHeaderTop < 1 || scrollOffset < 0) return paint;
  paint.first = uint64_t(scrollOffset / kRowHeight);
  paint.firstTop = kListTop + kRowHeight * int64_t(paint.first) - scrollOffset;
  // (H - 202) / 36 truncates towards zero, as the row count of a short window should.
  const int64_t span = (int64_t(clientHeight) - kListTop) / kRowHeight + 2;
  paint.end = std::min<uint64_t>(paint.first + uint64_t(std::max<int64_t>(span, 0)), rows);
  if (paint.end < paint.first) paint.end = paint.first;
  return paint;
}

int64_t RowAt(int32_t y, int64_t scrollOffset, uint64_t rows) {
  if (y < kListTop) return -1;
  const int64_t row = (scrollOffset - kListTop + y) / kRowHeight;
  return row >= 0 && uint64_t(row) < rows ? row : -1;
}

int ColumnAt(int32_t x, const ColumnWidths& widths) {
  if (x < 0) return -1;
  int32_t right = 0;
  for (int k = 0; k < kColumns; ++k) {
    right += widths[k];
    if (x < right) return k;
  }
  return -1;
}

int HeaderBorderAt(int32_t x, int32_t y, const ColumnWidths& widths) {
  if (y < kHeaderTop || y >= kListTop) return -1;
  int32_t border = 0;
  for (int k = 0; k < kColumns - 1; ++k) {
    border += widths[k];
    if (std::abs(x - border) <= kBorderGrab) return k;
  }
  return -1;
}

int64_t OffsetShowingRow(int64_t row, int64_t scrollOffset, uint64_t rows, int32_t clientHeight) {
  const int64_t top = row * kRowHeight;
  const int64_t visible = VisibleListHeight(clientHeight);
  int64_t offset = scrollOffset;
  if (top < offset) {
    offset = top;
  } else if (top + kRowHeight > offset + visible) {
    offset = top + kRowHeight - visible;
  }
  return ClampScrollOffset(offset, rows, clientHeight);
}

}  // namespace qm
