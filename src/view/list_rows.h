// What the result list shows: the texts of each cell of a row, the header labels with the
// sort arrow, and the runs of a cell text that the search term highlights. The window only
// measures and draws what these functions give it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/results.h"
#include "view/list_geometry.h"

namespace qm {

// A cell text longer than this many UTF-16 units is cut to it.
inline constexpr size_t kMaxCellUnits = 1023;

// One row as it is drawn, read from its entry at paint time.
struct RowCells {
  std::array<std::u16string, kColumns> text;  // "#", Name, Size, Modified, Created, Path
  bool isDirectory = false;                   // picks the folder icon; empties the Size cell
  std::u16string iconName;                    // what the shell is asked for an icon: the name
};

// The cells of row `row` (0-based position in the display list) showing `item`: the name and
// directory flag read under the drive's lock (an empty name and "a file" for a record beyond
// the drive's count), the path from BuildPath, sizes and times from the property cache or,
// unless `cacheOnly`, from the file system. With `cacheOnly` (the scroll thumb is being
// dragged) an entry without cached properties shows "..." in Size, Modified and Created
// (directories still show an empty Size). Every text is cut to kMaxCellUnits.
RowCells BuildRowCells(const MatchItem& item, uint64_t row, bool cacheOnly);

// The cells of the rows [first, end) of `list` (end is clamped to the list's length).
std::vector<RowCells> BuildRows(const MatchList& list, uint64_t first, uint64_t end,
                                bool cacheOnly);

// A header label: the column's title in the language in use, then " ↑" or " ↓" for the
// column the list is sorted by.
std::u16string HeaderLabel(int column, int32_t sortColumn, bool ascending);

// One highlighted stretch of a cell text: `length` units from `start`.
struct HighlightRun {
  size_t start = 0;
  size_t length = 0;
  bool operator==(const HighlightRun&) const = default;
};

// Where the folded `term` occurs in `text` folded the same way, left to right and never
// overlapping ("aa" in "aaaa" gives two runs). Nothing for an empty text or term.
std::vector<HighlightRun> HighlightRuns(std::u16string_view text, std::u16string_view term);

}  // namespace qm
