#include "app/window_model.h"

#include <memory>
#include <mutex>

#include "app/window_texts.h"
#include "base/texts.h"
#include "config/filter_tags.h"
#include "index/drive_list.h"
#include "search/filter_view.h"
#include "search/query.h"
#include "search/result_summary.h"
#include "search/search.h"

namespace qm {

namespace {

ResultList CurrentList() {
  std::lock_guard guard(resultsMutex);
  return currentResults;
}

std::u16string_view Truncated(std::u16string_view text) {
  return text.substr(0, kSearchTextUnits);
}

}  // namespace

bool ResizeList(WindowModel& model, int32_t width, int32_t height) {
  model.clientWidth = width;
  model.clientHeight = height;
  if (width == 0 || height == 0) return false;
  model.columnWidths[kColumns - 1] = PathColumnWidth(model.columnWidths, width);
  model.scrollOffset = ClampScrollOffset(model.scrollOffset, filteredCount.load(), height);
  return true;
}

bool SetScrollOffset(WindowModel& model, int64_t requested) {
  const int64_t offset = ClampScrollOffset(requested, filteredCount.load(), model.clientHeight);
  if (offset == model.scrollOffset) return false;
  model.scrollOffset = offset;
  return true;
}

ScrollBarState CurrentScrollBar(const WindowModel& model) {
  return ScrollBarFor(filteredCount.load(), model.scrollOffset, model.clientHeight);
}

std::optional<ShownTexts> AcceptSearchDone(WindowModel& model, uint64_t generation, bool keep) {
  if (generation != searchGeneration.load()) return std::nullopt;
  const ResultList list = CurrentList();
  const uint64_t total = list ? list->size() : 0;
  ResetFilteredView(total);
  ShownTexts shown;
  shown.title = ResultsTitle(total);
  shown.status = SearchDoneStatusText(SelectedTagLabel(), total);
  shown.tagTexts = TagButtonTexts(filterTags.Snapshot()->size());
  if (!keep) {
    model.scrollOffset = 0;
    model.selectedRow = -1;
  }
  return shown;
}

ShownTexts AcceptFilterDone() {
  uint64_t shown = 0;
  {
    std::lock_guard guard(filterMutex);
    shown = filteredCount.load();
  }
  const ResultList list = CurrentList();
  return {ResultsTitle(list ? list->size() : 0), FilterStatusText(SelectedTagLabel(), shown), {}};
}

std::optional<std::u16string> AcceptSetTitle(uint64_t generation, char16_t* text) {
  std::optional<std::u16string> title;
  if (text && generation == searchGeneration.load()) title.emplace(text);
  delete[] text;
  return title;
}

std::vector<std::u16string> TagButtonTexts(size_t buttons) {
  // The counts come with the list: its worker made them, the window only reads them.
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  const SummaryPtr summary = CurrentSummary();
  std::vector<std::u16string> texts;
  texts.reserve(buttons);
  for (size_t i = 0; i < buttons; ++i) {
    const FilterTag* tag = i < tags->size() ? &(*tags)[i] : nullptr;
    texts.push_back(
        TagButtonText(tag ? tag->label : std::u16string(), TagCountOf(summary.get(), i)));
  }
  return texts;
}

std::vector<std::u16string> DriveBoxItems() {
  std::vector<std::u16string> items{std::u16string(Text(TextId::kDriveAll))};
  std::lock_guard guard(driveList.mutex);
  for (const VolumeIndexPtr& drive : driveList.entries) items.push_back(drive->drive);
  return items;
}

void SearchTextChanged(std::u16string_view text) {
  text = Truncated(text);
  if (text.empty()) {
    StartSearch(std::u16string(), false, true);
  } else if (!text.starts_with(u"s:")) {
    StartSearch(std::u16string(text), false, false);
  }
}

void SearchTextEntered(std::u16string_view text) {
  StartSearch(std::u16string(Truncated(text)), false, false);
}

void DriveSelectionChanged(int32_t selection, std::u16string_view text) {
  selectedDrive.store(selection);
  StartSearch(std::u16string(Truncated(text)), false, false);
}

std::optional<ListPaint> PrepareListPaint(const WindowModel& model,
                                          std::u16string_view searchBoxText) {
  if (model.clientHeight - kHeaderTop < 1) return std::nullopt;
  ListPaint paint;
  paint.list = GetDisplayList();
  paint.term = HighlightTermOf(Truncated(searchBoxText));
  paint.widths = model.columnWidths;
  paint.rows = RowsToPaint(model.scrollOffset, paint.list->size(), model.clientHeight);
  paint.cells = BuildRows(*paint.list, paint.rows.first, paint.rows.end, model.thumbTracking);
  const int32_t sorted = sortColumn.load();
  const bool ascending = sortAscending.load();
  for (int k = 0; k < kColumns; ++k) paint.headers[k] = HeaderLabel(k, sorted, ascending);
  return paint;
}

}  // namespace qm
