#include "app/window_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/window_texts.h"
#include "base/language.h"
#include "base/texts.h"
#include "base/window_messages.h"
#include "config/filter_tags.h"
#include "platform/drive_roots.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::kRootFrn;
using Texts = std::vector<std::u16string>;

char16_t* NewText(std::u16string_view text) {
  char16_t* buffer = new char16_t[text.size() + 1];
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return buffer;
}

TEST(WindowTextsTest, TitlesAndStatusInBothLanguages) {
  const bool savedChinese = chineseUi.load();
  struct Language {
    bool chinese;
    std::u16string_view created, initializing, product, five, big, status;
  };
  const Language languages[] = {
      {false, u"Initializing...", u"Initializing...", u"Quillmarsh",
       u"Quillmarsh - 5 results found", u"Quillmarsh - 12345678901 results found",
       u"Filter: Docs | Hits: 3"},
      {true, u"初始化中...", u"正在初始化全盘索引...", u"云雀寻迹", u"云雀寻迹 - 共命中 5 个",
       u"云雀寻迹 - 共命中 12345678901 个", u"筛选: Docs | 命中: 3"},
  };
  std::u16string hosts[2];
  for (const Language& l : languages) {
    chineseUi.store(l.chinese);
    EXPECT_EQ(Text(TextId::kTitleCreated), l.created);
    EXPECT_EQ(Text(TextId::kTitleInitializing), l.initializing);
    EXPECT_EQ(ResultsTitle(5), l.five);
    EXPECT_EQ(ResultsTitle(12345678901), l.big);
    EXPECT_EQ(SearchDoneStatusText(u"Docs", 3), l.status);
    EXPECT_EQ(SearchDoneStatusText(u"Docs", 0), u"") << "no results: an empty status line";
    const std::u16string idle = IdleTitle();
    const std::u16string prefix = std::u16string(l.product) + u" - ";
    ASSERT_TRUE(idle.starts_with(prefix));
    hosts[l.chinese] = idle.substr(prefix.size());
    EXPECT_NE(hosts[l.chinese].find(u'.'), std::u16string::npos) << "a host name";
  }
  EXPECT_NE(hosts[0], hosts[1]) << "each language names its own homepage";
  chineseUi.store(savedChinese);
  EXPECT_EQ(TagButtonText(u"Text", 12), u"Text\n(12)");
}

TEST(WindowTextsTest, SetTitleTakesOnlyTheCurrentGenerationAndFreesTheText) {
  const uint64_t now = searchGeneration.load();
  EXPECT_EQ(AcceptSetTitle(now, NewText(u"Scanning 3 / 10")), u"Scanning 3 / 10");
  EXPECT_EQ(AcceptSetTitle(now - 1, NewText(u"stale")), std::nullopt);
  EXPECT_EQ(AcceptSetTitle(now, nullptr), std::nullopt);
}

// C: a folder, files, a folder named like a text file and a file deleted after the search;
// D: one text file and one whose name is exactly as long as the search box reads.
class WindowModelTest : public testing::IndexedDrivesTest {
 protected:
  WindowModelTest() : savedTags(filterTags.Snapshot()), savedChinese(chineseUi.load()) {
    chineseUi.store(false);
    filterTags.Replace(
        {{u"All", {}}, {u"Text", {u".txt"}}, {u"Pictures", {u".jpg"}}, {u"None", {}}});
    SetDriveWithoutFiles(u"C:");
    SetDriveWithoutFiles(u"D:");
    AddDrive(u"C:", {{0x10, kRootFrn, u"xdocs", true},
                     {0x11, 0x10, u"xa.txt"},
                     {0x12, 0x10, u"xb.TXT"},
                     {0x13, kRootFrn, u"xc.jpg"},
                     {0x14, kRootFrn, u"xnotes.txt", true},
                     {0x15, kRootFrn, u"xgone.txt"}});
    AddDrive(u"D:", {{0x20, kRootFrn, u"xd.txt"}, {0x21, kRootFrn, std::u16string(255, u'y')}});
    Ready();
  }
  ~WindowModelTest() override {
    EXPECT_TRUE(testing::WaitForWorkers());
    // Progress titles of the content scans are taken as the window takes them: freed.
    for (const testing::PostedMessage& m : poster.Messages()) {
      if (m.message == WM_SET_TITLE)
        AcceptSetTitle(m.wParam, reinterpret_cast<char16_t*>(m.lParam));
    }
    SetDriveRoot(u"C:", {});
    SetDriveRoot(u"D:", {});
    filterTags.Replace(*savedTags);
    chineseUi.store(savedChinese);
  }

  // Waits for the WM_SEARCH_DONE of the newest search start; false when none comes.
  bool Done() { return poster.WaitFor(WM_SEARCH_DONE, searchGeneration.load()); }

  FilterTagsSnapshot savedTags;
  bool savedChinese;
};

TEST_F(WindowModelTest, SearchDoneResetsOrKeepsTheViewAndCountsEveryTag) {
  const uint64_t g = SearchAndWait(u"x");
  ASSERT_EQ(PathsOf(Current()).size(), 7u);
  DeleteFile(0, 0x15, kRootFrn, u"xgone.txt");
  WaitForMonitors();

  WindowModel model;
  model.scrollOffset = 500;
  model.selectedRow = 4;
  filteredCount.store(42);
  EXPECT_FALSE(AcceptSearchDone(model, g - 1, false));
  EXPECT_EQ(model.scrollOffset, 500);
  EXPECT_EQ(model.selectedRow, 4);
  EXPECT_EQ(filteredCount.load(), 42u) << "a stale message changes nothing";

  selectedTag.store(1);  // the status names the selected tag but counts the whole list
  const std::optional<ShownTexts> kept = AcceptSearchDone(model, g, true);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->title, u"Quillmarsh - 7 results found");
  EXPECT_EQ(kept->status, u"Filter: Text | Hits: 7");
  // All counts every entry, folders too; the others count live files. The counts are made by
  // the worker that published the list: the file deleted since still counts until the next list.
  EXPECT_EQ(kept->tagTexts, (Texts{u"All\n(7)", u"Text\n(4)", u"Pictures\n(1)", u"None\n(0)"}));
  EXPECT_EQ(filteredCount.load(), 7u);
  EXPECT_EQ(model.scrollOffset, 500) << "a re-sort keeps the scroll position";
  EXPECT_EQ(model.selectedRow, 4);

  ASSERT_TRUE(AcceptSearchDone(model, g, false));
  EXPECT_EQ(model.scrollOffset, 0);
  EXPECT_EQ(model.selectedRow, -1);

  ApplyTagSelection(2);
  ASSERT_TRUE(poster.WaitFor(WM_FILTER_DONE));
  const ShownTexts filtered = AcceptFilterDone();
  EXPECT_EQ(filtered.title, u"Quillmarsh - 7 results found") << "the title keeps the total";
  EXPECT_EQ(filtered.status, u"Filter: Pictures | Hits: 1");

  const uint64_t none = SearchAndWait(u"nothing");
  const std::optional<ShownTexts> empty = AcceptSearchDone(model, none, false);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->title, u"Quillmarsh - 0 results found");
  EXPECT_EQ(empty->status, u"");
  EXPECT_EQ(empty->tagTexts, (Texts{u"All\n(0)", u"Text\n(0)", u"Pictures\n(0)", u"None\n(0)"}));
}

TEST_F(WindowModelTest, WhichInputStartsWhichSearch) {
  EXPECT_EQ(DriveBoxItems(), (Texts{u"ALL", u"C:", u"D:"}));
  const uint64_t start = searchGeneration.load();
  SearchTextChanged(u"");
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, start + 1), 1u) << "the recent list comes at once";
  WindowModel model;
  const std::optional<ShownTexts> recent = AcceptSearchDone(model, start + 1, false);
  ASSERT_TRUE(recent);
  EXPECT_EQ(recent->title, u"Quillmarsh - 0 results found") << "no recent opens";
  EXPECT_EQ(recent->status, u"");

  SearchTextChanged(u"s:xa");
  EXPECT_EQ(searchGeneration.load(), start + 1) << "a content query waits for Enter";
  EXPECT_EQ(poster.Messages().size(), 1u);

  SearchTextChanged(u"S:xa");  // not the prefix: a name query
  ASSERT_TRUE(Done());
  EXPECT_EQ(searchGeneration.load(), start + 2);
  EXPECT_TRUE(Current()->empty());

  SearchTextChanged(u"XA");
  ASSERT_TRUE(Done());
  EXPECT_EQ(PathsOf(Current()), Texts{u"C:\\xdocs\\xa.txt"});

  SearchTextEntered(u"s:x");
  EXPECT_EQ(searchGeneration.load(), start + 4);
  ASSERT_TRUE(Done());

  DriveSelectionChanged(1, u"s:x");  // the drive box re-runs a content query too
  EXPECT_EQ(selectedDrive.load(), 1);
  EXPECT_EQ(searchGeneration.load(), start + 5);
  ASSERT_TRUE(Done());

  DriveSelectionChanged(2, u"x");
  ASSERT_TRUE(Done());
  EXPECT_EQ(PathsOf(Current()), Texts{u"D:\\xd.txt"});

  // The box is read as at most 255 units: the unit after them is never searched for.
  SearchTextChanged(std::u16string(255, u'y') + u"z");
  ASSERT_TRUE(Done());
  EXPECT_EQ(PathsOf(Current()), Texts{u"D:\\" + std::u16string(255, u'y')});
}

TEST_F(WindowModelTest, ResizingAndScrollingClampToTheList) {
  filteredCount.store(10);  // 360 pixels of rows
  WindowModel model;
  model.scrollOffset = 1000;
  EXPECT_FALSE(ResizeList(model, 0, 500));
  EXPECT_EQ(model.clientHeight, 500);
  EXPECT_EQ(model.columnWidths[5], 400) << "a zero size stores only the size";
  EXPECT_EQ(model.scrollOffset, 1000);

  EXPECT_TRUE(ResizeList(model, 1000, 500));
  EXPECT_EQ(model.columnWidths[5], 250);
  EXPECT_EQ(model.scrollOffset, 62) << "360 pixels of rows, 298 visible";
  EXPECT_FALSE(SetScrollOffset(model, 80));
  EXPECT_TRUE(SetScrollOffset(model, -5));
  EXPECT_EQ(model.scrollOffset, 0);
  model.scrollOffset = 40;
  const ScrollBarState bar = CurrentScrollBar(model);
  EXPECT_EQ((std::array{bar.max, int32_t(bar.page), bar.pos}), (std::array{9, 8, 1}));

  EXPECT_TRUE(ResizeList(model, 700, 1000));
  EXPECT_EQ(model.columnWidths[5], 200);
  EXPECT_EQ(model.scrollOffset, 0);
  EXPECT_FALSE(ResizeList(model, 1000, 0));
  EXPECT_EQ(model.columnWidths[5], 200);
}

TEST_F(WindowModelTest, APaintShowsTheDisplayList) {
  const uint64_t g = SearchAndWait(u"x");
  WindowModel model;
  ASSERT_TRUE(AcceptSearchDone(model, g, false));
  ResizeList(model, 1000, 160);
  EXPECT_FALSE(PrepareListPaint(model, u"x")) << "no room below the status line";

  ResizeList(model, 1000, 1000);
  model.thumbTracking = true;
  sortColumn.store(1);
  sortAscending.store(false);
  std::optional<ListPaint> paint = PrepareListPaint(model, u"  XA ");
  ASSERT_TRUE(paint);
  EXPECT_EQ(paint->list->size(), 7u);
  EXPECT_EQ(paint->term, u"xa");
  EXPECT_EQ(paint->widths, model.columnWidths);
  EXPECT_EQ(paint->headers[1], u"Name ↓");
  ASSERT_EQ(paint->cells.size(), 7u);
  EXPECT_EQ(paint->cells[6].text[0], u"7");
  EXPECT_EQ(paint->cells[6].text[5], u"D:\\xd.txt");
  EXPECT_EQ(paint->cells[1].text[3], u"...") << "cached properties only while dragging";

  model.thumbTracking = false;
  ResizeList(model, 1000, 161);
  paint = PrepareListPaint(model, u"");
  ASSERT_TRUE(paint);
  EXPECT_GE(paint->rows.firstTop, 161) << "rows may be built, but none is visible";

  ResizeList(model, 1000, 1000);
  selectedTag.store(2);
  paint = PrepareListPaint(model, u"");
  ASSERT_TRUE(paint);
  ASSERT_EQ(paint->cells.size(), 1u);
  EXPECT_EQ(paint->cells[0].text[1], u"xc.jpg");
  EXPECT_EQ(paint->cells[0].text[2], u"0 B") << "a drive without files";

  model.scrollOffset = 3600;  // a list that shrank under the offset shows no rows
  paint = PrepareListPaint(model, u"");
  ASSERT_TRUE(paint);
  EXPECT_TRUE(paint->cells.empty());
}

}  // namespace
}  // namespace qm
