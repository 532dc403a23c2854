#include "config/recent_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/decimal.h"
#include "platform/utf8.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

TEST(RecentFile, LineRules) {
  const struct {
    std::u16string line;
    std::optional<RecentLine> entry;
  } cases[] = {
      {u"123456789\tC:\\Data\\report.txt", RecentLine{123456789, u"C:\\Data\\report.txt"}},
      {u"  42\tC:\\a b\t c  \r\n", RecentLine{42, u"C:\\a b\t c"}},  // path after the first tab
      {u"abc\tC:\\x", RecentLine{0, u"C:\\x"}},                      // letters give 0
      {u"12ab\tC:\\x", RecentLine{12, u"C:\\x"}},
      {u"\tC:\\x", std::nullopt},  // the leading tab is trimmed away
      {u"x\t\tC:\\x", RecentLine{0, u"\tC:\\x"}},
      {u"18446744073709551616\tC:\\x", RecentLine{UINT64_MAX, u"C:\\x"}},
      {u"5 \t C:\\x", RecentLine{5, u" C:\\x"}},  // only the line's ends are trimmed
      {u"", std::nullopt},
      {u"C:\\no tab", std::nullopt},
      {u"5\t", std::nullopt},
      {u"5\t   ", std::nullopt},                 // trimmed away: no tab left
      {u"-5\tC:\\x", RecentLine{0, u"C:\\x"}},   // a sign is no digit
      {u"\v7\tC:\\x", RecentLine{0, u"C:\\x"}},  // nor is white space the trim leaves
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseRecentLine(c.line), c.entry) << ::testing::PrintToString(c.line);
  }
}

TEST(RecentFile, StampIsTheDigitsAtTheVeryStart) {
  const struct {
    std::u16string_view text;
    uint64_t stamp;
  } cases[] = {
      {u"123456789", 123456789},
      {u"12abc", 12},
      {u"007", 7},
      {u"", 0},
      {u"-5", 0},  // no sign: not 2^64 - 5
      {u"+5", 0},
      {u" 7", 0},  // no white space
      {u"\v7", 0},
      {u"\u0661", 0},  // only ASCII digits
      {u"18446744073709551615", UINT64_MAX},
      {u"18446744073709551616", UINT64_MAX},  // beyond 64 bits: the largest
      {u"99999999999999999999999x", UINT64_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLeadingDigits64(c.text), c.stamp) << ::testing::PrintToString(c.text);
  }
  // Every stamp written reads back unchanged.
  for (uint64_t stamp : {uint64_t(0), uint64_t(1), uint64_t(4294967296), UINT64_MAX}) {
    EXPECT_EQ(ParseLeadingDigits64(DecimalText(stamp)), stamp);
  }
}

TEST(RecentFile, WrittenFormatSkipsEmptyPaths) {
  const std::vector<RecentLine> lines = {
      {123456789, u"C:\\Data\\report.txt"}, {7, u""}, {UINT64_MAX, u"D:\\文件"}};
  EXPECT_EQ(FormatRecentFile(lines),
            u"123456789\tC:\\Data\\report.txt\n18446744073709551615\tD:\\文件\n");
  EXPECT_EQ(FormatRecentFile({}), u"");
}

TEST(RecentFile, OnDisk) {
  testing::TempFolder folder;
  testing::TestConfigSystem system(std::nullopt);
  const std::u16string path = folder.program() + u"\\recent.ini";

  std::vector<RecentLine> read = {{1, u"stale"}};
  EXPECT_FALSE(ReadRecentFile(system, path, &read));
  EXPECT_TRUE(read.empty());

  const std::vector<RecentLine> lines = {{2, u"C:\\b.txt"}, {1, u"C:\\a\tb.txt"}};
  ASSERT_TRUE(WriteRecentFile(system, path, lines));
  EXPECT_EQ(testing::FileBytes(path),
            "\xEF\xBB\xBF"
            "2\tC:\\b.txt\r\n1\tC:\\a\tb.txt\r\n");
  ASSERT_TRUE(ReadRecentFile(system, path, &read));
  EXPECT_EQ(read, lines);

  // An empty list leaves only the byte-order mark.
  ASSERT_TRUE(WriteRecentFile(system, path, {}));
  EXPECT_EQ(testing::FileBytes(path), "\xEF\xBB\xBF");
  ASSERT_TRUE(ReadRecentFile(system, path, &read));
  EXPECT_TRUE(read.empty());
}

TEST(RecentFile, HandEditedFileAndLongLines) {
  testing::MemoryConfigSystem memory;
  // A path of 5000 units: the line comes in two pieces; the first keeps its tab and gives an
  // entry with the path cut at 4095 units in all, the second has no tab and is skipped.
  const std::u16string longPath = u"C:\\" + std::u16string(4997, u'p');
  memory.files[u"r"] = "9\tC:\\one\nbad line\n\n10\t\n" + ToUtf8(u"8\t" + longPath) + "\n";
  std::vector<RecentLine> read;
  ASSERT_TRUE(ReadRecentFile(memory, u"r", &read));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], (RecentLine{9, u"C:\\one"}));
  EXPECT_EQ(read[1].stamp, 8u);
  EXPECT_EQ(read[1].path, longPath.substr(0, 4093));
}

}  // namespace
}  // namespace qm
