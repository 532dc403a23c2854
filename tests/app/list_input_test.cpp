#include "app/list_input.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/window_messages.h"
#include "index/build_path.h"
#include "platform/drive_roots.h"
#include "search/filter_view.h"
#include "search/properties.h"
#include "search/sort.h"
#include "support/indexed_drives.h"
#include "support/temp_folder.h"
#include "view/formats.h"

namespace qm {
namespace {

using testing::kRootFrn;
using Paths = std::vector<std::u16string>;

std::u16string TwoDigits(int i) {
  return {char16_t(u'0' + i / 10), char16_t(u'0' + i % 10)};
}

// C: (mapped to a folder where only f00.txt exists, 2048 bytes) holds f00.txt to f99.txt at
// the root and \Dir with g0.txt to g4.txt. The window is 1000 x 1000: the Path column is 250
// wide (column borders at 60 310 430 590 750, the list ends at 1000) and 798 pixels show 22
// whole rows of 36.
class ListInputTest : public testing::IndexedDrivesTest {
 protected:
  ListInputTest() {
    SetDriveRoot(u"C:", files.path());
    std::ofstream(files.path() / "f00.txt", std::ios::binary) << std::string(2048, 'q');
    std::vector<testing::TestEntry> entries;
    for (int i = 0; i < 100; ++i)
      entries.push_back({0x100 + uint64_t(i), kRootFrn, u"f" + TwoDigits(i) + u".txt"});
    entries.push_back({0x10, kRootFrn, u"Dir", true});
    for (int i = 0; i < 5; ++i) {
      entries.push_back(
          {0x20 + uint64_t(i), 0x10, u"g" + std::u16string(1, char16_t(u'0' + i)) + u".txt"});
    }
    AddDrive(u"C:", entries);
    Ready();
    Show(u"f");
    ResizeList(model, 1000, 1000);
  }
  ~ListInputTest() override {
    EXPECT_TRUE(testing::WaitForWorkers());
    SetDriveRoot(u"C:", {});
  }

  // A search as the window accepts it: the view is reset, no selection, scrolled to the top.
  void Show(std::u16string query) {
    const uint64_t generation = SearchAndWait(std::move(query));
    ASSERT_TRUE(AcceptSearchDone(model, generation, false));
  }
  static Paths Shown() { return PathsOf(GetDisplayList()); }

  testing::TempFolder files;
  WindowModel model;
};

TEST_F(ListInputTest, ButtonDownAtTheBoundaries) {
  ASSERT_EQ(Shown().size(), 100u);
  struct Case {
    int32_t x, y;
    int64_t offset;
    ListClick click;
    int64_t selected;  // the selection was 7 before
    int resizeColumn;  // -1: no resize
    int32_t sorted;    // -1: no sort
  };
  constexpr auto kNothing = ListClick::kNothing, kSelected = ListClick::kSelected,
                 kResize = ListClick::kResizeStarted, kSort = ListClick::kSortStarted;
  const Case cases[] = {
      {100, 159, 0, kNothing, 7, -1, -1},  // above the header
      {310, 159, 0, kNothing, 7, -1, -1},  // a border, but above the header
      {20, 160, 0, kNothing, 7, -1, -1},   // "#" does not sort
      {20, 201, 0, kNothing, 7, -1, -1},    {20, 202, 0, kSelected, 0, -1, -1},  // the first row
      {20, 237, 0, kSelected, 0, -1, -1},   {20, 238, 0, kSelected, 1, -1, -1},
      {20, 202, 50, kSelected, 1, -1, -1},   // scrolled: row 1 lies under the header's edge
      {20, 3801, 0, kSelected, 99, -1, -1},  // the last row
      {20, 3802, 0, kNothing, 7, -1, -1},    // below it
      {310, 202, 0, kSelected, 0, -1, -1},   // borders only count in the header
      {302, 180, 0, kResize, 7, 1, -1},      // 8 pixels left of Name|Size
      {318, 201, 0, kResize, 7, 1, -1},      // 8 pixels right of it
      {301, 180, 0, kSort, 7, -1, 1},        // 9 pixels: Name
      {319, 180, 0, kSort, 7, -1, 2},        // 9 pixels: Size
      {52, 160, 0, kResize, 7, 0, -1},       // "#"|Name can be dragged
      {51, 180, 0, kNothing, 7, -1, -1},     // but "#" itself does not sort
      {742, 180, 0, kResize, 7, 4, -1},      // Created|Path
      {995, 180, 0, kSort, 7, -1, 5},        // Path's right edge is no border
      {1000, 180, 0, kNothing, 7, -1, -1},   // beyond the last column
      {1005, 180, 0, kNothing, 7, -1, -1},  {-3, 180, 0, kNothing, 7, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "x " << c.x << " y " << c.y);
    WindowModel m = model;
    m.scrollOffset = c.offset;
    m.selectedRow = 7;
    sortColumn.store(-1);
    const uint64_t generation = searchGeneration.load();
    EXPECT_EQ(ListButtonDown(m, c.x, c.y), c.click);
    EXPECT_EQ(m.selectedRow, c.selected);
    EXPECT_EQ(m.resize.active, c.resizeColumn >= 0);
    if (c.resizeColumn >= 0) {
      EXPECT_EQ(m.resize.column, c.resizeColumn);
      EXPECT_EQ(m.resize.startX, c.x);
      EXPECT_EQ(m.resize.startWidth, model.columnWidths[size_t(c.resizeColumn)]);
    }
    EXPECT_EQ(sortColumn.load(), c.sorted);
    EXPECT_EQ(searchGeneration.load(), generation + (c.sorted >= 0 ? 1 : 0));
    EXPECT_EQ(m.columnWidths, model.columnWidths);
    ASSERT_TRUE(testing::WaitForWorkers());
  }
}

TEST_F(ListInputTest, HeaderClicksSortThenReverse) {
  model.selectedRow = 3;
  model.scrollOffset = 72;
  struct Step {
    int32_t x;
    int32_t column;
    bool ascending;
    std::u16string_view first;
  };
  const Step steps[] = {
      {100, kColumnName, true, u"C:\\f00.txt"},
      {100, kColumnName, false, u"C:\\f99.txt"},
      {400, kColumnSize, true, u""},  // sizes tie: only the direction is checked
  };
  for (const Step& step : steps) {
    EXPECT_EQ(ListButtonDown(model, step.x, 170), ListClick::kSortStarted);
    const uint64_t generation = searchGeneration.load();
    EXPECT_EQ(sortColumn.load(), step.column);
    EXPECT_EQ(sortAscending.load(), step.ascending);
    ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, generation));
    for (const testing::PostedMessage& m : poster.Messages()) {
      if (m.message == WM_SEARCH_DONE && m.wParam == generation) {
        EXPECT_EQ(m.lParam, 1);
      }
    }
    ASSERT_TRUE(AcceptSearchDone(model, generation, true));
    if (!step.first.empty()) {
      EXPECT_EQ(Shown().front(), step.first);
    }
  }
  EXPECT_EQ(Shown().back(), u"C:\\f00.txt") << "Size ascending puts the only non-empty file last";
  EXPECT_EQ(model.selectedRow, 3) << "a sort keeps the selection and the offset";
  EXPECT_EQ(model.scrollOffset, 72);
}

TEST_F(ListInputTest, DraggingABorder) {
  ASSERT_EQ(ListButtonDown(model, 310, 180), ListClick::kResizeStarted);
  EXPECT_EQ(CursorAt(model, 500, 600), ListCursor::kSizeWE) << "anywhere while dragging";
  struct Step {
    int16_t x;
    bool changed;
    int32_t name, path;
  };
  const Step steps[] = {
      {320, true, 260, 240}, {320, false, 260, 240},
      {100, true, 40, 460},  {80, true, 30, 470},                // 20 would be below 30
      {50, false, 30, 470},  {int16_t(0xFFF0), false, 30, 470},  // x is -16, not 65520
      {700, true, 640, 200}, {1200, true, 1140, 200},            // Path stops at 200
      {310, true, 250, 250},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(ResizeColumnTo(model, s.x), s.changed) << s.x;
    EXPECT_EQ(model.columnWidths[1], s.name) << s.x;
    EXPECT_EQ(model.columnWidths[5], s.path) << s.x;
  }
  EXPECT_TRUE(ListButtonUp(model));
  EXPECT_FALSE(model.resize.active);
  EXPECT_FALSE(ListButtonUp(model));

  struct CursorCase {
    int32_t x, y;
    ListCursor cursor;
  };
  const CursorCase cursors[] = {
      {310, 180, ListCursor::kSizeWE}, {302, 160, ListCursor::kSizeWE},
      {318, 201, ListCursor::kSizeWE}, {319, 180, ListCursor::kArrow},
      {310, 159, ListCursor::kArrow},  {310, 202, ListCursor::kArrow},
      {1000, 180, ListCursor::kArrow},  // Path's right edge
      {52, 180, ListCursor::kSizeWE},  {500, 180, ListCursor::kArrow},
  };
  for (const CursorCase& c : cursors)
    EXPECT_EQ(CursorAt(model, c.x, c.y), c.cursor) << c.x << ", " << c.y;
}

TEST_F(ListInputTest, HoverTextsAndTheHoverCell) {
  const MatchItem file = ItemOf(0, u"C:\\f00.txt");
  const MatchItem folder = ItemOf(0, u"C:\\Dir");
  PropertyInfo info{};
  GetProperties(*file.volume, file.recordIndex, &info);
  struct Case {
    const MatchItem& item;
    int column;
    std::u16string text;
  };
  const Case cases[] = {
      {file, 0, u""},
      {file, 1, u"f00.txt"},
      {file, 2, u"2 KB"},
      {file, 3, FormatTime(info.lastWriteTime)},
      {file, 4, FormatTime(info.creationTime)},
      {file, 5, u"C:\\f00.txt"},
      {folder, 1, u"Dir"},
      {folder, 2, u""},
      {folder, 5, u"C:\\Dir"},
  };
  for (const Case& c : cases) EXPECT_EQ(HoverText(c.item, c.column), c.text) << c.column;
  EXPECT_NE(HoverText(file, 3), u"-") << "the file's time was read";

  const Paths shown = Shown();
  using Kind = HoverChange::Kind;
  struct Step {
    int32_t x, y;
    Kind kind;
    std::u16string text;
    int64_t row;
    int32_t column;
  };
  const Step steps[] = {
      {100, 202, Kind::kShow, shown[0].substr(3), 0, 1},
      {200, 237, Kind::kKeep, u"", 0, 1},  // the same cell costs nothing
      {800, 238, Kind::kShow, shown[1], 1, 5},
      {20, 238, Kind::kHide, u"", 1, 0},    // "#" has no text
      {1000, 300, Kind::kKeep, u"", 1, 0},  // beyond the last column
      {100, 3802, Kind::kKeep, u"", 1, 0},  // below the last row
      {100, 201, Kind::kHide, u"", -1, -1},
      {100, 3801, Kind::kShow, shown[99].substr(3), 99, 1},
  };
  for (const Step& s : steps) {
    const HoverChange change = ListHover(model, s.x, s.y);
    EXPECT_EQ(change.kind, s.kind) << s.x << ", " << s.y;
    if (s.kind == Kind::kShow) {
      EXPECT_EQ(change.text, s.text);
    }
    EXPECT_EQ(model.hoverRow, s.row) << s.x << ", " << s.y;
    EXPECT_EQ(model.hoverColumn, s.column) << s.x << ", " << s.y;
  }
  ListMouseLeave(model);
  EXPECT_EQ(model.hoverRow, -1);
  EXPECT_EQ(model.hoverColumn, -1);
  EXPECT_EQ(ListHover(model, 100, 202).kind, Kind::kShow) << "after leaving, the cell is new";

  Show(u"nothing");
  EXPECT_EQ(ListHover(model, 100, 202).kind, Kind::kHide) << "an empty list";
}

TEST_F(ListInputTest, DoubleAndRightClicksSelectOnlyRows) {
  struct Case {
    int32_t x, y;
    bool hit;
    int64_t selected;  // the selection was 7 before
  };
  const Case cases[] = {{100, 201, false, 7},  {100, 202, true, 0},   {100, 159, false, 7},
                        {900, 3801, true, 99}, {100, 3802, false, 7}, {1000, 202, true, 0}};
  for (const Case& c : cases) {
    model.selectedRow = 7;
    EXPECT_EQ(ListDoubleClick(model, c.x, c.y), c.hit) << c.x << ", " << c.y;
    EXPECT_EQ(model.selectedRow, c.selected);
    model.selectedRow = 7;
    EXPECT_EQ(ListRightClick(model, c.x, c.y), c.hit) << c.x << ", " << c.y;
    EXPECT_EQ(model.selectedRow, c.selected);
  }
  Show(u"nothing");
  EXPECT_FALSE(ListDoubleClick(model, 100, 202));
  EXPECT_FALSE(ListRightClick(model, 100, 202));
  EXPECT_EQ(model.selectedRow, -1);
}

TEST_F(ListInputTest, EveryScrollCode) {
  // 100 rows: the offset runs from 0 to 2802; the bar's page is 22 rows, its max 99.
  const ScrollBarReading bar{99, 22, 50};
  const ScrollTrack track{100, 700, 20, 0};  // the track runs from 120, 560 pixels long
  auto at = [&](int32_t cursorY) {
    ScrollTrack t = track;
    t.cursorY = cursorY;
    return std::optional<ScrollTrack>(t);
  };
  struct Case {
    int code;
    int64_t offset;
    std::optional<ScrollTrack> track;
    std::optional<int64_t> scrolled;  // the offset after SetScrollOffset; none: no request
  };
  const Case cases[] = {
      {kScrollLineUp, 100, {}, 36},  // row 2, up one
      {kScrollLineDown, 100, {}, 108},
      {kScrollLineUp, 0, {}, 0},
      {kScrollLineDown, 2802, {}, 2802},
      {kScrollPageDown, 100, {}, 864},  // no bar geometry: a page of 22 rows
      {kScrollPageUp, 100, {}, 0},
      {kScrollPageUp, 1000, {}, 180},      // row 27, 22 up
      {kScrollPageDown, 100, at(120), 0},  // the track's top
      {kScrollPageUp, 2000, at(120), 0},
      {kScrollPageDown, 0, at(400), 1404},  // the middle: trunc(0.5 * 78) rows
      {kScrollPageDown, 0, at(127), 0},     // 7 / 560 * 78 is below one row
      {kScrollPageDown, 0, at(128), 36},
      {kScrollPageDown, 0, at(50), 0},    // above the track
      {kScrollPageUp, 0, at(680), 2802},  // 78 rows, clamped
      {kScrollPageUp, 0, at(5000), 2802},
      {kScrollPageDown, 100, std::optional<ScrollTrack>(ScrollTrack{100, 140, 20, 130}), {}},
      {kScrollPageDown, 100, std::optional<ScrollTrack>(ScrollTrack{100, 120, 20, 130}), {}},
      {kScrollThumbTrack, 100, {}, 1800},
      {kScrollEnd, 100, {}, {}},
      {4, 100, {}, 72},  // SB_THUMBPOSITION and the others snap to the row
      {6, 100, {}, 72},
      {7, 2802, {}, 2772},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "code " << c.code << " offset " << c.offset);
    model.scrollOffset = c.offset;
    const std::optional<int64_t> target = ScrollTarget(model, c.code, bar, c.track);
    EXPECT_EQ(target.has_value(), c.scrolled.has_value());
    if (target) SetScrollOffset(model, *target);
    EXPECT_EQ(model.scrollOffset, c.scrolled.value_or(c.offset));
    if (c.code == kScrollThumbTrack || c.code == kScrollEnd) {
      EXPECT_EQ(model.thumbTracking, c.code == kScrollThumbTrack);
    }
  }
}

TEST_F(ListInputTest, WheelNotches) {
  struct Case {
    int64_t offset;
    int32_t delta;
    int64_t scrolled;
  };
  const Case cases[] = {
      {1000, 120, 900},     {1000, -120, 1100}, {1000, 240, 800}, {1000, -240, 1200},
      {1000, 1, 1000},      {1000, -1, 1000},   {1000, 119, 901}, {1000, -119, 1099},
      {1000, 2, 999},       {1000, -2, 1001},   {50, 120, 0},     {2750, -120, 2802},
      {1000, -32768, 2802},
  };
  for (const Case& c : cases) {
    model.scrollOffset = c.offset;
    SetScrollOffset(model, WheelTarget(model, c.delta));
    EXPECT_EQ(model.scrollOffset, c.scrolled) << c.offset << " by " << c.delta;
  }
}

struct Key {
  uint32_t key;
  bool ctrl = false;
  bool shift = false;
};

TEST_F(ListInputTest, KeyboardNavigationKeepsTheSelectionInView) {
  ASSERT_TRUE(EnterListFromSearchBox(model));
  EXPECT_EQ(model.selectedRow, 0);
  struct Step {
    uint32_t key;
    int64_t row, offset;
    bool toSearchBox = false;
  };
  const Step steps[] = {
      {kKeyUp, 0, 0, true},  // the first row: back to the search box
      {kKeyDown, 1, 0},         {kKeyEnd, 99, 2802},    {kKeyDown, 99, 2802},
      {kKeyPageDown, 99, 2802}, {kKeyPageUp, 77, 2772}, {kKeyHome, 0, 0},
      {kKeyPageUp, 0, 0},       {kKeyPageDown, 22, 30}, {kKeyPageDown, 44, 822},
      {kKeyPageUp, 22, 792},    {kKeyUp, 21, 756},      {kKeyDown, 22, 756},  // still in view
  };
  for (const Step& s : steps) {
    const KeyOutcome out = ListKeyDown(model, s.key, false, false);
    SCOPED_TRACE(::testing::Message() << "key " << s.key << " to row " << s.row);
    EXPECT_TRUE(out.handled);
    EXPECT_EQ(out.focusSearchBox, s.toSearchBox);
    EXPECT_FALSE(out.action);
    EXPECT_EQ(model.selectedRow, s.row);
    EXPECT_EQ(model.scrollOffset, s.offset);
  }
  model.scrollOffset = 2000;  // scrolled away by the wheel
  EXPECT_TRUE(ListKeyDown(model, kKeyDown, false, false).moved);
  EXPECT_EQ(model.selectedRow, 23);
  EXPECT_EQ(model.scrollOffset, 828);

  // A screen of less than one row still pages by one.
  ResizeList(model, 1000, 230);  // 28 pixels of list
  model.selectedRow = 0;
  model.scrollOffset = 0;
  const std::pair<uint32_t, std::pair<int64_t, int64_t>> small[] = {
      {kKeyPageDown, {1, 44}}, {kKeyPageDown, {2, 80}}, {kKeyPageUp, {1, 36}}};
  for (auto [key, expected] : small) {
    ListKeyDown(model, key, false, false);
    EXPECT_EQ(model.selectedRow, expected.first) << key;
    EXPECT_EQ(model.scrollOffset, expected.second) << key;
  }

  // A list shorter than a screen: a page goes to its ends.
  ResizeList(model, 1000, 1000);
  Show(u"g");
  ASSERT_EQ(Shown().size(), 5u);
  model.selectedRow = 150;  // left from a longer list
  ASSERT_TRUE(EnterListFromSearchBox(model));
  EXPECT_EQ(model.selectedRow, 0);
  ListKeyDown(model, kKeyPageDown, false, false);
  EXPECT_EQ(model.selectedRow, 4);
  ListKeyDown(model, kKeyPageUp, false, false);
  EXPECT_EQ(model.selectedRow, 0);
  EXPECT_EQ(model.scrollOffset, 0);

  Show(u"f");
  model.selectedRow = 60;
  ASSERT_TRUE(EnterListFromSearchBox(model));
  EXPECT_EQ(model.selectedRow, 60) << "a valid selection is kept";
  EXPECT_EQ(model.scrollOffset, OffsetShowingRow(60, 0, 100, 1000));
  EXPECT_EQ(model.scrollOffset, 1398);

  Show(u"nothing");
  EXPECT_FALSE(EnterListFromSearchBox(model));
  EXPECT_EQ(model.selectedRow, -1);
}

TEST_F(ListInputTest, ActionKeys) {
  struct Case {
    Key key;
    std::optional<FileAction> action;
    bool handled = true;
    bool toSearchBox = false;
  };
  const Case cases[] = {
      {{kKeyEnter}, FileAction::kOpenItem},
      {{kKeyEnter, true}, FileAction::kOpenContainingFolder},
      {{'C', true, true}, FileAction::kCopyPath},
      {{'C', true}, FileAction::kCopyToClipboard},
      {{'X', true}, FileAction::kCutToClipboard},
      {{'D', true}, FileAction::kDeletePermanently},
      {{kKeyDelete}, FileAction::kMoveToRecycleBin},
      {{kKeyEscape}, {}, true, true},
      {{'C'}, {}, false},
      {{'X'}, {}, false},
      {{'D'}, {}, false},
      {{'A', true}, {}, false},
      {{0x74}, {}, false},  // F5
  };
  for (const Case& c : cases) {
    model.selectedRow = 5;
    model.scrollOffset = 0;
    const KeyOutcome out = ListKeyDown(model, c.key.key, c.key.ctrl, c.key.shift);
    SCOPED_TRACE(::testing::Message() << "key " << c.key.key << " ctrl " << c.key.ctrl);
    EXPECT_EQ(out.handled, c.handled);
    EXPECT_EQ(out.action, c.action);
    EXPECT_EQ(out.focusSearchBox, c.toSearchBox);
    EXPECT_EQ(model.selectedRow, 5);
  }
}

}  // namespace
}  // namespace qm
