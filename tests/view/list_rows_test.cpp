#include "view/list_rows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <string>

#include "base/language.h"
#include "platform/file_attributes.h"
#include "search/query.h"
#include "support/indexed_drives.h"
#include "view/formats.h"

namespace qm {
namespace {

using testing::kRootFrn;
using Runs = std::vector<HighlightRun>;

TEST(HighlightRunsTest, FoldedNonOverlappingOccurrences) {
  struct Case {
    std::u16string_view text, term;
    Runs runs;
  };
  const Case cases[] = {
      {u"aaaa", u"aa", {{0, 2}, {2, 2}}},
      {u"ab Ab AB aB", u"ab", {{0, 2}, {3, 2}, {6, 2}, {9, 2}}},
      {u"2024-03-07 09:05", u"0", {{1, 1}, {5, 1}, {8, 1}, {11, 1}, {14, 1}}},
      {u"éÉé", u"é", {{0, 1}, {2, 1}}},  // no folding beyond A to Z
      {u"É", u"é", {}},
      {u"", u"a", {}},
      {u"abc", u"", {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(HighlightRuns(cases[i].text, cases[i].term), cases[i].runs) << "case " << i;
  }
  // The term comes from the search box: blanks only mark nothing; a content query marks its
  // text before the "|".
  EXPECT_TRUE(HighlightRuns(u"a b  c", HighlightTermOf(u"   \t ")).empty());
  EXPECT_EQ(HighlightRuns(u"xAbyab", HighlightTermOf(u"  AB ")), (Runs{{1, 2}, {4, 2}}));
  EXPECT_EQ(HighlightRuns(u"Total due: 5", HighlightTermOf(u"s: TOTAL | log")), (Runs{{0, 5}}));

  // Against a unit-by-unit scan over small alphabets.
  std::mt19937 random(7);
  const char16_t alphabet[] = u"aAbé";
  for (int round = 0; round < 2000; ++round) {
    std::u16string text(random() % 12, u'a'), term(1 + random() % 3, u'a');
    for (char16_t& c : text) c = alphabet[random() % 4];
    for (char16_t& c : term) c = FoldUnit(alphabet[random() % 4]);
    Runs expected;
    for (size_t i = 0; i + term.size() <= text.size();) {
      bool match = true;
      for (size_t k = 0; k < term.size(); ++k) match &= FoldUnit(text[i + k]) == term[k];
      if (match) expected.push_back({i, term.size()});
      i += match ? term.size() : 1;
    }
    ASSERT_EQ(HighlightRuns(text, term), expected) << "round " << round;
  }
}

TEST(HeaderLabelTest, ArrowOnlyOnTheSortColumnInEitherLanguage) {
  const bool savedChinese = chineseUi.load();
  const std::u16string english[] = {u"#", u"Name", u"Size", u"Modified", u"Created", u"Path"};
  const std::u16string chinese[] = {u"行号", u"名称", u"大小", u"修改时间", u"创建时间", u"路径"};
  for (const bool inChinese : {false, true}) {
    chineseUi.store(inChinese);
    const std::u16string* labels = inChinese ? chinese : english;
    for (int k = 0; k < kColumns; ++k) {
      EXPECT_EQ(HeaderLabel(k, -1, true), labels[k]) << "no sort: no arrow, not even on #";
      EXPECT_EQ(HeaderLabel(k, 3, true), k == 3 ? labels[k] + u" ↑" : labels[k]);
      EXPECT_EQ(HeaderLabel(k, 3, false), k == 3 ? labels[k] + u" ↓" : labels[k]);
    }
  }
  chineseUi.store(savedChinese);
}

// Attributes for chosen full paths; any other path cannot be queried.
class MapAttributes : public FileAttributeSource {
 public:
  bool QueryAttributes(std::u16string_view fullPath, FileAttributeData* out) override {
    ++calls;
    const auto found = files.find(std::u16string(fullPath));
    if (found == files.end()) return false;
    *out = found->second;
    return true;
  }
  std::map<std::u16string, FileAttributeData> files;
  std::atomic<int> calls{0};
};

constexpr uint64_t kWritten = 133000000000000000;  // early 2022
constexpr uint64_t kCreated = 132000000000000000;  // late 2019
using Cells = std::array<std::u16string, kColumns>;

class RowCellsTest : public testing::IndexedDrivesTest {
 protected:
  RowCellsTest() {
    attributes.files[u"C:\\Docs"] = {0x10, kCreated, 0, kWritten, 0, 0};
    attributes.files[u"C:\\Docs\\report.txt"] = {0x20, kCreated, 0, kWritten, 0, 2048};
    fileAttributesOverride.store(&attributes);
    AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true},
                     {0x11, 0x10, u"report.txt"},
                     {0x12, 0x10, u"gone.txt"},
                     {0x13, kRootFrn, longName, true},
                     {0x14, 0x13, u"f.txt"}});
    Ready();
  }
  ~RowCellsTest() override { fileAttributesOverride.store(nullptr); }

  static Cells TextsOf(MatchItem item, uint64_t row, bool cacheOnly) {
    return BuildRowCells(item, row, cacheOnly).text;
  }

  const std::u16string longName = std::u16string(1100, u'n');
  MapAttributes attributes;
};

TEST_F(RowCellsTest, FilesDirectoriesMissingRecordsAndLongTexts) {
  const std::u16string written = FormatTime(kWritten), created = FormatTime(kCreated);
  ASSERT_NE(written, u"-");
  const RowCells file = BuildRowCells(ItemOf(0, u"C:\\Docs\\report.txt"), 4, false);
  EXPECT_EQ(file.text,
            (Cells{u"5", u"report.txt", u"2 KB", written, created, u"C:\\Docs\\report.txt"}));
  EXPECT_FALSE(file.isDirectory);
  EXPECT_EQ(file.iconName, u"report.txt");
  const RowCells folder = BuildRowCells(ItemOf(0, u"C:\\Docs"), 0, false);
  EXPECT_EQ(folder.text, (Cells{u"1", u"Docs", u"", written, created, u"C:\\Docs"}));
  EXPECT_TRUE(folder.isDirectory);
  // Attributes that cannot be read show as zeros.
  EXPECT_EQ(TextsOf(ItemOf(0, u"C:\\Docs\\gone.txt"), 99, false),
            (Cells{u"100", u"gone.txt", u"0 B", u"-", u"-", u"C:\\Docs\\gone.txt"}));

  // A record beyond the drive's count: no name, a file, still a number and a path.
  VolumeIndex& c = Drive(0);
  const MatchItem missing{&c, uint32_t(RecordCount(c) + 3)};
  const RowCells none = BuildRowCells(missing, 0, false);
  EXPECT_EQ(none.text, (Cells{u"1", u"", u"0 B", u"-", u"-", u"C:"}));
  EXPECT_FALSE(none.isDirectory);
  EXPECT_EQ(TextsOf(missing, 7, true), (Cells{u"8", u"", u"...", u"...", u"...", u"C:"}));

  // Names and paths longer than 1023 units are cut to 1023.
  const std::u16string longPath = u"C:\\" + longName;
  EXPECT_EQ(TextsOf(ItemOf(0, longPath), 0, true)[1], longName.substr(0, 1023));
  const Cells inside = TextsOf(ItemOf(0, longPath + u"\\f.txt"), 0, true);
  EXPECT_EQ(inside[1], u"f.txt");
  EXPECT_EQ(inside[5], longPath.substr(0, 1023));
}

TEST_F(RowCellsTest, DraggingTheThumbShowsOnlyCachedProperties) {
  const MatchItem file = ItemOf(0, u"C:\\Docs\\report.txt");
  const MatchItem folder = ItemOf(0, u"C:\\Docs");
  EXPECT_EQ(TextsOf(file, 0, true),
            (Cells{u"1", u"report.txt", u"...", u"...", u"...", u"C:\\Docs\\report.txt"}));
  EXPECT_EQ(TextsOf(folder, 1, true), (Cells{u"2", u"Docs", u"", u"...", u"...", u"C:\\Docs"}));
  EXPECT_EQ(attributes.calls.load(), 0) << "no file is read while the thumb is dragged";

  BuildRowCells(file, 0, false);
  BuildRowCells(folder, 1, false);
  EXPECT_EQ(TextsOf(file, 0, true)[2], u"2 KB");
  EXPECT_EQ(TextsOf(folder, 1, true)[3], FormatTime(kWritten));
  EXPECT_EQ(attributes.calls.load(), 2);
}

}  // namespace
}  // namespace qm
