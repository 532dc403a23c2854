#include "app/list_input.h"

#include <algorithm>
#include <shared_mutex>

#include "index/build_path.h"
#include "index/volume_index.h"
#include "search/filter_view.h"
#include "search/properties.h"
#include "search/sort.h"
#include "view/formats.h"

namespace qm {

namespace {

constexpr uint32_t kKeyC = 'C';
constexpr uint32_t kKeyD = 'D';
constexpr uint32_t kKeyX = 'X';

uint64_t RowCount(const ResultList& list) {
  return list ? list->size() : 0;
}

// The row under (x, y) of the display list; -1 above the rows or past the last.
int64_t RowUnder(const WindowModel& model, const ResultList& list, int32_t y) {
  return RowAt(y, model.scrollOffset, RowCount(list));
}

// Whole rows in the visible list height, at least one.
int64_t PageRows(const WindowModel& model) {
  return std::max<int64_t>(1, (int64_t(model.clientHeight) - kListTop) / kRowHeight);
}

// Selects `row` and scrolls just enough to show it.
void SelectAndShow(WindowModel& model, int64_t row, uint64_t rows) {
  model.selectedRow = row;
  SetScrollOffset(model, OffsetShowingRow(row, model.scrollOffset, rows, model.clientHeight));
}

}  // namespace

ListClick ListButtonDown(WindowModel& model, int32_t x, int32_t y) {
  if (y < kHeaderTop) return ListClick::kNothing;
  if (y >= kListTop) {
    const ResultList list = GetDisplayList();
    const int64_t row = RowUnder(model, list, y);
    if (row < 0) return ListClick::kNothing;
    model.selectedRow = row;
    return ListClick::kSelected;
  }
  const int border = HeaderBorderAt(x, y, model.columnWidths);
  if (border >= 0) {
    model.resize = {true, border, x, model.columnWidths[size_t(border)]};
    return ListClick::kResizeStarted;
  }
  const int column = ColumnAt(x, model.columnWidths);
  if (column <= kColumnNumber) return ListClick::kNothing;  // none, or "#": not sortable
  RequestSort(column);
  return ListClick::kSortStarted;
}

bool ResizeColumnTo(WindowModel& model, int16_t x) {
  ColumnResize& resize = model.resize;
  if (!resize.active) return false;
  const int32_t width = std::max(kMinColumnWidth, int32_t(x) - resize.startX + resize.startWidth);
  int32_t& stored = model.columnWidths[size_t(resize.column)];
  if (width == stored) return false;
  stored = width;
  model.columnWidths[kColumnPath] = PathColumnWidth(model.columnWidths, model.clientWidth);
  return true;
}

bool ListButtonUp(WindowModel& model) {
  if (!model.resize.active) return false;
  model.resize = {};
  return true;
}

HoverChange ListHover(WindowModel& model, int32_t x, int32_t y) {
  if (y < kListTop) {
    model.hoverRow = -1;
    model.hoverColumn = -1;
    return {HoverChange::kHide, {}};
  }
  const ResultList list = GetDisplayList();
  if (RowCount(list) == 0) return {HoverChange::kHide, {}};
  const int64_t row = RowUnder(model, list, y);
  const int column = ColumnAt(x, model.columnWidths);
  if (row < 0 || column < 0 || (row == model.hoverRow && column == model.hoverColumn)) {
    return {};
  }
  model.hoverRow = row;
  model.hoverColumn = column;
  std::u16string text = HoverText((*list)[size_t(row)], column);
  if (text.empty()) return {HoverChange::kHide, {}};
  return {HoverChange::kShow, std::move(text)};
}

void ListMouseLeave(WindowModel& model) {
  model.hoverRow = -1;
  model.hoverColumn = -1;
}

std::u16string HoverText(const MatchItem& item, int column) {
  if (!item.volume || column <= kColumnNumber || column > kColumnPath) return {};
  VolumeIndex& volume = *item.volume;
  std::u16string name;
  bool isDirectory = false;
  {
    std::shared_lock guard(volume.lock);
    if (item.recordIndex >= RecordCount(volume)) return {};
    const FileRecord& record = volume.records[item.recordIndex];
    name.assign(RecordName(volume, record));
    isDirectory = record.isDirectory;
  }
  // The lock is released before the properties are read or the path is built.
  switch (column) {
    case kColumnName:
      return name;
    case kColumnPath:
      return BuildPath(volume, item.recordIndex);
    default:
      break;
  }
  if (column == kColumnSize && isDirectory) return {};
  PropertyInfo info;
  GetProperties(volume, item.recordIndex, &info);
  if (column == kColumnSize) return FormatSize(info.size);
  return FormatTime(column == kColumnModified ? info.lastWriteTime : info.creationTime);
}

bool ListDoubleClick(WindowModel& model, int32_t /*x*/, int32_t y) {
  if (y < kListTop) return false;
  const int64_t row = RowUnder(model, GetDisplayList(), y);
  if (row < 0) return false;
  model.selectedRow = row;
  return true;
}

bool ListRightClick(WindowModel& model, int32_t x, int32_t y) {
  return ListDoubleClick(model, x, y);  // the same hit test and selection
}

ListCursor CursorAt(const WindowModel& model, int32_t x, int32_t y) {
  if (model.resize.active) return ListCursor::kSizeWE;
  return HeaderBorderAt(x, y, model.columnWidths) >= 0 ? ListCursor::kSizeWE : ListCursor::kArrow;
}

std::optional<int64_t> ScrollTarget(WindowModel& model, int code, const ScrollBarReading& bar,
                                    const std::optional<ScrollTrack>& track) {
  const int64_t row = model.scrollOffset / kRowHeight;
  switch (code) {
    case kScrollLineUp:
      return (row - 1) * kRowHeight;
    case kScrollLineDown:
      return (row + 1) * kRowHeight;
    case kScrollPageUp:
    case kScrollPageDown: {
      if (!track) {
        const int64_t page = code == kScrollPageUp ? -int64_t(bar.page) : int64_t(bar.page);
        return (row + page) * kRowHeight;
      }
      // A click in the track jumps to where it was made.
      const int64_t trackTop = int64_t(track->barTop) + track->arrowHeight;
      const int64_t trackLength = int64_t(track->barBottom) - trackTop - track->arrowHeight;
      if (trackLength <= 0) return std::nullopt;
      const double ratio =
          std::clamp(double(track->cursorY - trackTop) / double(trackLength), 0.0, 1.0);
      const double rows = double(int64_t(bar.max) - int64_t(bar.page) + 1);
      return int64_t(ratio * rows) * kRowHeight;
    }
    case kScrollThumbTrack:
      model.thumbTracking = true;
      return int64_t(bar.trackPos) * kRowHeight;
    case kScrollEnd:
      model.thumbTracking = false;
      return std::nullopt;
    default:
      return row * kRowHeight;  // positions snap to whole rows
  }
}

int64_t WheelTarget(const WindowModel& model, int32_t delta) {
  return model.scrollOffset - (int64_t(delta) * kWheelNotchPixels) / 120;
}

KeyOutcome ListKeyDown(WindowModel& model, uint32_t key, bool ctrl, bool shift) {
  KeyOutcome outcome;
  switch (key) {
    case kKeyDelete:
      outcome.action = FileAction::kMoveToRecycleBin;
      break;
    case kKeyC:
      if (ctrl) outcome.action = shift ? FileAction::kCopyPath : FileAction::kCopyToClipboard;
      break;
    case kKeyX:
      if (ctrl) outcome.action = FileAction::kCutToClipboard;
      break;
    case kKeyD:
      if (ctrl) outcome.action = FileAction::kDeletePermanently;
      break;
    case kKeyEnter:
      outcome.action = ctrl ? FileAction::kOpenContainingFolder : FileAction::kOpenItem;
      break;
    case kKeyEscape:
      outcome.handled = true;
      outcome.focusSearchBox = true;
      return outcome;
    case kKeyUp:
    case kKeyDown:
    case kKeyPageUp:
    case kKeyPageDown:
    case kKeyHome:
    case kKeyEnd: {
      outcome.handled = true;
      const uint64_t rows = RowCount(GetDisplayList());
      if (rows == 0) return outcome;
      const int64_t last = int64_t(rows) - 1;
      const int64_t current =
          model.selectedRow >= 0 && model.selectedRow <= last ? model.selectedRow : -1;
      if (key == kKeyUp && current == 0) {
        outcome.focusSearchBox = true;
        return outcome;
      }
      int64_t next = 0;
      if (key == kKeyUp) next = current - 1;
      if (key == kKeyDown) next = current + 1;
      if (key == kKeyPageUp) next = current - PageRows(model);
      if (key == kKeyPageDown) next = std::max<int64_t>(current, 0) + PageRows(model);
      if (key == kKeyEnd) next = last;
      next = std::clamp<int64_t>(next, 0, last);
      const int64_t offset = model.scrollOffset;
      SelectAndShow(model, next, rows);
      outcome.moved = next != current || offset != model.scrollOffset;
      return outcome;
    }
    default:
      break;
  }
  outcome.handled = outcome.action.has_value();
  return outcome;
}

bool EnterListFromSearchBox(WindowModel& model) {
  const uint64_t rows = RowCount(GetDisplayList());
  if (rows == 0) return false;
  const bool valid = model.selectedRow >= 0 && uint64_t(model.selectedRow) < rows;
  SelectAndShow(model, valid ? model.selectedRow : 0, rows);
  return true;
}

}  // namespace qm
