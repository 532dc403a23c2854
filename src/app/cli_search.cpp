#include "app/cli_search.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "app/cli_exit_codes.h"
#include "config/filter_tags.h"
#include "index/drive_list.h"
#include "platform/utf8.h"
#include "search/filter_view.h"
#include "search/results.h"
#include "search/search.h"
#include "search/sort.h"
#include "view/list_rows.h"

namespace qm::cli {

namespace {

size_t DriveCount() {
  std::lock_guard guard(driveList.mutex);
  return driveList.entries.size();
}

void PrintLine(std::u16string_view text, char end) {
  std::string line = ToUtf8(text);
  line.push_back(end);
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// One row as the list draws it: the full path, and with `columns` the Size, Modified and
// Created cells (Size is empty for a directory).
std::u16string RowText(const MatchItem& item, uint64_t row, bool columns) {
  RowCells cells = BuildRowCells(item, row, false);
  if (!columns) return std::move(cells.text[5]);
  return cells.text[5] + u'\t' + cells.text[2] + u'\t' + cells.text[3] + u'\t' + cells.text[4];
}

}  // namespace

int RunSearchCommand(const Options& options, MessageQueue& queue, WindowState& window) {
  const std::u16string query = ToUtf16(options.query);
  // The drive box: "ALL" and then one entry per drive.
  if (size_t(options.drive) > DriveCount()) {
    std::fprintf(stderr, "quillmarsh-cli: --drive %d: there are only %zu drives\n",
                 int(options.drive), DriveCount());
    return kExitBadArguments;
  }
  if (options.tag && size_t(*options.tag) >= filterTags.Snapshot()->size()) {
    std::fprintf(stderr, "quillmarsh-cli: --tag %d: there are only %zu filter tags\n",
                 int(*options.tag), filterTags.Snapshot()->size());
    return kExitBadArguments;
  }
  selectedDrive.store(options.drive);

  // Enter in the search box; an empty box shows the recent opens.
  StartSearch(query, false, query.empty());
  const uint64_t searched = searchGeneration.load();
  RunMessageLoop(
      queue, window, [&] { return window.lastSearchDone == searched; },
      [] { return activeSearchWorkers.load() > 0; });

  if (options.sortColumn) {
    for (int click = 0; click < (options.descending ? 2 : 1); ++click) {
      const bool hasRows = CurrentResultCount() > 0;
      if (!RequestSort(*options.sortColumn) || !hasRows) continue;
      // A sort of a non-empty list always ends with its WM_SEARCH_DONE (no newer search runs).
      const uint64_t sorted = searchGeneration.load();
      RunMessageLoop(
          queue, window, [&] { return window.lastSearchDone == sorted; }, [] { return true; });
    }
  }

  if (options.tag) {
    const uint64_t before = window.filterDoneCount;
    ApplyTagSelection(*options.tag);
    RunMessageLoop(
        queue, window, [&] { return window.filterDoneCount > before; },
        [] { return activeFilterWorkers.load() > 0; });
  }

  ResultList rows = GetDisplayList();
  const char end = options.nullEnds ? '\0' : '\n';
  PrintLine(window.title, end);
  PrintLine(window.status, end);
  for (uint64_t r = 0; r < rows->size(); ++r) {
    PrintLine(RowText((*rows)[r], r, options.columns), end);
  }
  return kExitOk;
}

}  // namespace qm::cli
