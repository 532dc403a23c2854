// Draws the result list with GDI: what to draw comes from the window model (PrepareListPaint),
// this file only fills, lines, measures, writes text and asks the shell for icons.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

#include "app/main_window_win32.h"

namespace qm {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kOddRow = RGB(248, 250, 252);
constexpr COLORREF kSelectedRow = RGB(180, 210, 255);
constexpr COLORREF kCellText = RGB(40, 40, 40);
constexpr COLORREF kGrid = RGB(220, 223, 225);
constexpr COLORREF kHeaderBackground = RGB(240, 242, 245);
constexpr COLORREF kHeaderLine = RGB(210, 215, 220);
constexpr COLORREF kHeaderText = RGB(60, 60, 60);
constexpr COLORREF kHeaderSeparator = RGB(200, 203, 205);
constexpr COLORREF kHighlight = RGB(255, 243, 140);

const wchar_t* Wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

void Fill(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  const RECT rect = {left, top, right, bottom};
  FillRect(dc, &rect, brush);
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

int TextWidth(HDC dc, std::u16string_view text) {
  SIZE size = {};
  GetTextExtentPoint32W(dc, Wide(text), int(text.size()), &size);
  return size.cx;
}

// One cell text with the search term's occurrences marked behind it.
void DrawHighlighted(HDC dc, std::u16string_view text, std::u16string_view term, int x, int y,
                     const RECT& clip) {
  if (text.empty()) return;
  const std::vector<HighlightRun> runs = HighlightRuns(text, term);
  if (!runs.empty()) {
    HBRUSH brush = CreateSolidBrush(kHighlight);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    for (const HighlightRun& run : runs) {
      const int p = TextWidth(dc, text.substr(0, run.start));
      const int m = TextWidth(dc, text.substr(run.start, run.length));
      const RECT mark = {x + p, y, x + p + m, y + metrics.tmHeight};
      RECT visible;
      if (IntersectRect(&visible, &mark, &clip)) FillRect(dc, &visible, brush);
    }
    DeleteObject(brush);
  }
  ExtTextOutW(dc, x, y, ETO_CLIPPED, &clip, Wide(text), UINT(text.size()), nullptr);
}

// The shell's small icon for a name (or for "folder"), chosen by extension and attribute
// alone; true when one was drawn.
bool DrawIcon(HDC dc, const RowCells& cells, int x, int y) {
  SHFILEINFOW info = {};
  const char16_t* name = cells.isDirectory ? u"folder" : cells.iconName.c_str();
  const DWORD attributes = cells.isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!SHGetFileInfoW(reinterpret_cast<const wchar_t*>(name), attributes, &info, sizeof(info),
                      SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES)) {
    return false;
  }
  DrawIconEx(dc, x + kIconInset, y + kIconInset, info.hIcon, kIconSize, kIconSize, 0, nullptr,
             DI_NORMAL);
  DestroyIcon(info.hIcon);
  return true;
}

void DrawRows(HDC dc, const ListPaint& paint, const WindowModel& model) {
  HBRUSH selected = CreateSolidBrush(kSelectedRow);
  HBRUSH odd = CreateSolidBrush(kOddRow);
  HBRUSH white = CreateSolidBrush(kWhite);
  for (uint64_t r = paint.rows.first; r < paint.rows.end; ++r) {
    const RowCells& cells = paint.cells[r - paint.rows.first];
    const int y = int(paint.rows.firstTop + kRowHeight * int64_t(r - paint.rows.first));
    HBRUSH brush = int64_t(r) == model.selectedRow ? selected : (r % 2 == 1 ? odd : white);
    for (int k = 0; k < kColumns; ++k) {
      const int x = ColumnLeft(paint.widths, k);
      const int w = paint.widths[k];
      Fill(dc, x, y, x + w, y + kRowHeight, brush);
      SetTextColor(dc, kCellText);
      int textX = x + kCellTextInsetX;
      RECT clip = {x + kCellClipInset, y, x + w - kCellClipInset, y + kRowHeight};
      if (k == 1 && DrawIcon(dc, cells, x, y)) {
        textX += kIconShift;
        clip.left += kIconShift;
      }
      DrawHighlighted(dc, cells.text[k], paint.term, textX, y + kCellTextInsetY, clip);
      if (k > 0) Line(dc, x, y, x, y + kRowHeight);
    }
    Line(dc, 0, y + kRowHeight, model.clientWidth, y + kRowHeight);
  }
  DeleteObject(selected);
  DeleteObject(odd);
  DeleteObject(white);
}

void DrawHeader(HDC dc, const MainWindow& w, const ListPaint& paint, HBRUSH background, HPEN grid) {
  Fill(dc, 0, kHeaderTop, w.model.clientWidth, kListTop, background);
  HPEN line = CreatePen(PS_SOLID, 1, kHeaderLine);
  SelectObject(dc, line);
  Line(dc, 0, kListTop, w.model.clientWidth, kListTop);
  SelectObject(dc, grid);
  DeleteObject(line);

  SelectObject(dc, w.headerFont);
  SetTextColor(dc, kHeaderText);
  for (int k = 0; k < kColumns; ++k) {
    const int x = ColumnLeft(paint.widths, k);
    const int width = paint.widths[k];
    const std::u16string& label = paint.headers[k];
    const RECT clip = {x + kHeaderClipInset, kHeaderTop, x + width - kHeaderClipInset, kListTop};
    ExtTextOutW(dc, x + kCellTextInsetX, kHeaderTextTop, ETO_CLIPPED, &clip, Wide(label),
                UINT(label.size()), nullptr);
    if (k > 0) {
      HPEN separator = CreatePen(PS_SOLID, 1, kHeaderSeparator);
      HGDIOBJ previous = SelectObject(dc, separator);
      Line(dc, x, kHeaderSeparatorTop, x, kHeaderSeparatorBottom);
      SelectObject(dc, previous);
      DeleteObject(separator);
    }
  }
}

}  // namespace

void PaintResultList(MainWindow& w, HDC target) {
  const std::optional<ListPaint> paint = PrepareListPaint(w.model, SearchBoxText(w));
  if (!paint || !w.backBitmap) return;
  HDC dc = w.backBuffer;
  const int width = w.model.clientWidth;
  const int height = w.model.clientHeight;

  HBRUSH white = CreateSolidBrush(kWhite);
  HBRUSH header = CreateSolidBrush(kHeaderBackground);
  HPEN grid = CreatePen(PS_SOLID, 1, kGrid);
  Fill(dc, 0, 0, width, height, white);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ previousPen = SelectObject(dc, grid);
  HGDIOBJ previousFont = SelectObject(dc, w.listFont);

  DrawRows(dc, *paint, w.model);
  DrawHeader(dc, w, *paint, header, grid);

  SelectObject(dc, previousPen);
  SelectObject(dc, previousFont);
  DeleteObject(white);
  DeleteObject(header);
  DeleteObject(grid);
  BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

}  // namespace qm
