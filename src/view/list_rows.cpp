#include "view/list_rows.h"

#include <algorithm>
#include <shared_mutex>

#include "base/fold_case.h"
#include "base/texts.h"
#include "config/decimal.h"
#include "index/build_path.h"
#include "index/volume_index.h"
#include "search/properties.h"
#include "view/formats.h"

namespace qm {

namespace {

constexpr std::u16string_view kNotYetRead = u"...";

std::u16string Cut(std::u16string text) {
  if (text.size() > kMaxCellUnits) text.resize(kMaxCellUnits);
  return text;
}

}  // namespace

RowCells BuildRowCells(const MatchItem& item, uint64_t row, bool cacheOnly) {
  RowCells cells;
  cells.text[0] = DecimalText(row + 1);
  if (!item.volume) return cells;
  VolumeIndex& volume = *item.volume;
  uint64_t frn = 0;
  bool exists = false;
  {
    std::shared_lock guard(volume.lock);
    if (item.recordIndex < RecordCount(volume)) {
      const FileRecord& record = volume.records[item.recordIndex];
      cells.iconName.assign(RecordName(volume, record));
      cells.isDirectory = record.isDirectory;
      frn = record.frn;
      exists = true;
    }
  }
  cells.text[1] = Cut(cells.iconName);
  cells.text[5] = Cut(BuildPath(volume, item.recordIndex));

  PropertyInfo info;
  if (!cacheOnly) {
    GetProperties(volume, item.recordIndex, &info);
  } else if (exists) {
    LookupProperties(volume, frn, &info);
  }
  if (cacheOnly && !info.valid) {
    if (!cells.isDirectory) cells.text[2] = kNotYetRead;
    cells.text[3] = kNotYetRead;
    cells.text[4] = kNotYetRead;
    return cells;
  }
  if (!cells.isDirectory) cells.text[2] = FormatSize(info.size);
  cells.text[3] = FormatTime(info.lastWriteTime);
  cells.text[4] = FormatTime(info.creationTime);
  return cells;
}

std::vector<RowCells> BuildRows(const MatchList& list, uint64_t first, uint64_t end,
                                bool cacheOnly) {
  end = std::min<uint64_t>(end, list.size());
  std::vector<RowCells> rows;
  if (first >= end) return rows;
  rows.reserve(end - first);
  for (uint64_t r = first; r < end; ++r) rows.push_back(BuildRowCells(list[r], r, cacheOnly));
  return rows;
}

std::u16string HeaderLabel(int column, int32_t sortColumn, bool ascending) {
  static constexpr TextId kTitles[kColumns] = {TextId::kColumnNumber,  TextId::kColumnName,
                                               TextId::kColumnSize,    TextId::kColumnModified,
                                               TextId::kColumnCreated, TextId::kColumnPath};
  if (column < 0 || column >= kColumns) return {};
  std::u16string label(Text(kTitles[column]));
  if (column == sortColumn) label += ascending ? u" ↑" : u" ↓";
  return label;
}

std::vector<HighlightRun> HighlightRuns(std::u16string_view text, std::u16string_view term) {
  std::vector<HighlightRun> runs;
  if (text.empty() || term.empty()) return runs;
  const std::u16string folded = FoldCase(text);
  for (size_t at = folded.find(term); at != std::u16string::npos;
       at = folded.find(term, at + term.size())) {
    runs.push_back({at, term.size()});
  }
  return runs;
}

}  // namespace qm
