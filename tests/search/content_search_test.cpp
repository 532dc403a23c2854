#include "search/content_search.h"

#include <gtest/gtest.h>

#include "folder_drive.h"
#include "search/query.h"

namespace qm {
namespace {

using testing::FakeClock;
using testing::FolderDriveTest;
using Paths = std::vector<std::u16string>;
namespace fs = std::filesystem;

std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += char(unit & 0xFF);
    bytes += char(unit >> 8);
  }
  return bytes;
}
std::string Utf16Be(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += char(unit >> 8);
    bytes += char(unit & 0xFF);
  }
  return bytes;
}

TEST(ContentPatternsTest, ThreeByteImagesOfTheTextAsTyped) {
  const ContentPatterns patterns = MakeContentPatterns(u"Café €");
  EXPECT_EQ(patterns.utf8, "Caf\xC3\xA9 \xE2\x82\xAC");
  // The stand-in ANSI code page (Windows-1252) outside Windows.
  EXPECT_EQ(patterns.ansi, "Caf\xE9 \x80");
  EXPECT_EQ(patterns.wide, u"Café €");

  const ContentPatterns empty = MakeContentPatterns(u"");
  EXPECT_TRUE(empty.utf8.empty());
  EXPECT_TRUE(empty.ansi.empty());
  EXPECT_TRUE(empty.wide.empty());
}

class ContentSearchTest : public FolderDriveTest {};

TEST_F(ContentSearchTest, MatchesThroughUtf8AnsiAndUtf16LittleEndianOnly) {
  Write('C', "utf8.txt", "total: Invoice 42\n");
  Write('C', "bom.txt", "\xEF\xBB\xBFInvoice");
  Write('C', "lower.txt", "invoice INVOICE");
  Write('C', "le.txt", "\xFF\xFE" + Utf16Le(u"the Invoice"));
  Write('C', "be.txt", "\xFE\xFF" + Utf16Be(u"the Invoice"));
  Write('C', "odd.txt", "x" + Utf16Le(u"Invoice"));  // units at odd byte offsets
  Write('C', "cut.txt", Utf16Le(u"Invoic") + "e");   // the last unit is one byte short
  Write('C', "ansi.txt", "menu: caf\xE9 cr\xE8me");
  Write('C', "utf8-cafe.txt", "caf\xC3\xA9");
  Write('C', "wide-cafe.txt", Utf16Le(u"xcafé"));
  Write('C', "other.txt", "caf");
  Write('C', "empty.txt", "");
  // Odd offset first, then an even one: the search goes on past the odd hit.
  Write('C', "odd-even.txt", "x" + Utf16Le(u"Invoice") + "y" + Utf16Le(u"Invoice"));
  Write('C', "runs.txt", "aaaaaab");  // near misses before the match, short and long texts
  Index('C');

  struct Case {
    const char16_t* path;
    const char16_t* text;
    bool found;
  };
  const Case cases[] = {
      {u"C:\\utf8.txt", u"Invoice", true},
      {u"C:\\bom.txt", u"Invoice", true},
      {u"C:\\lower.txt", u"Invoice", false},
      {u"C:\\le.txt", u"Invoice", true},
      {u"C:\\be.txt", u"Invoice", false},
      {u"C:\\odd.txt", u"Invoice", false},
      {u"C:\\cut.txt", u"Invoice", false},
      {u"C:\\ansi.txt", u"café", true},
      {u"C:\\utf8-cafe.txt", u"café", true},
      {u"C:\\wide-cafe.txt", u"café", true},
      {u"C:\\other.txt", u"café", false},
      {u"C:\\empty.txt", u"", false},
      {u"C:\\utf8.txt", u"", false},
      {u"C:\\missing.txt", u"Invoice", false},
      {u"C:\\", u"Invoice", false},  // the drive's folder itself
      {u"C:\\odd-even.txt", u"Invoice", true},
      {u"C:\\runs.txt", u"ab", true},
      {u"C:\\runs.txt", u"aab", true},
      {u"C:\\runs.txt", u"aaaab", true},
      {u"C:\\runs.txt", u"aaaaaab", true},
      {u"C:\\runs.txt", u"aaaaaaab", false},
      {u"C:\\runs.txt", u"aaac", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContainsText(c.path, MakeContentPatterns(c.text)), c.found)
        << ::testing::PrintToString(std::u16string(c.path));
  }
}

TEST_F(ContentSearchTest, FilesUpTo50MiBAreScanned) {
  // Sparse files: the text sits in the last bytes.
  for (uint64_t size : {kContentSizeLimit, kContentSizeLimit + 1}) {
    const fs::path path = Folder('C') / ("big" + std::to_string(size) + ".txt");
    { std::ofstream file(path, std::ios::binary); }
    fs::resize_file(path, size - 6);
    std::ofstream file(path, std::ios::binary | std::ios::app);
    file << "needle";
  }
  Index('C');
  EXPECT_EQ(fs::file_size(Folder('C') / "big52428800.txt"), 52428800u);
  EXPECT_TRUE(ContainsText(u"C:\\big52428800.txt", MakeContentPatterns(u"needle")));
  EXPECT_FALSE(ContainsText(u"C:\\big52428801.txt", MakeContentPatterns(u"needle")));
}

TEST_F(ContentSearchTest, CandidatesByExtensionOnTheSelectedDrives) {
  Write('C', "a/one.txt", "Total due: 5");
  Write('C', "a/two.LOG", "Total due: 6");
  Write('C', "a/three.md", "nothing");
  Write('C', "README", "Total due");
  Write('C', "no.csv.bak", "Total due");
  MakeDir('C', "notes.txt");
  Write('D', "d.txt", "Total due");
  Index('C');
  Index('D');
  searchGeneration.store(100);
  const ParsedQuery query = ParseQuery(u"s:Total due | log, .TXT ,md");

  MatchList results;
  ASSERT_TRUE(RunContentPass(query, 100, -1, results));
  Paths paths = PathsOf(results);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (Paths{u"C:\\a\\one.txt", u"C:\\a\\two.LOG", u"D:\\d.txt"}));
  EXPECT_EQ(TakeTitles(), Paths{u"Filtered 4 files, starting scan..."});

  results.clear();
  ASSERT_TRUE(RunContentPass(query, 100, 1, results));
  EXPECT_EQ(PathsOf(results), Paths{u"D:\\d.txt"});

  // No candidates: an empty result and no status text.
  results.clear();
  ASSERT_TRUE(RunContentPass(ParseQuery(u"s:Total due|pdf"), 100, -1, results));
  EXPECT_TRUE(results.empty());
  TakeTitles();
  EXPECT_EQ(TakeTitles(), Paths{});
}

TEST_F(ContentSearchTest, OneShareEachInCandidateOrder) {
  for (int i = 0; i < 10; ++i) Write('C', "f" + std::to_string(i) + ".txt", "hit");
  VolumeIndex& c = Index('C');
  MatchList candidates;
  for (int i = 0; i < 10; ++i)
    candidates.push_back(ItemOf(c, u"C:\\f" + std::u16string(1, char16_t(u'0' + i)) + u".txt"));
  const ContentPatterns patterns = MakeContentPatterns(u"hit");
  searchGeneration.store(7);
  MatchList results;
  ContentRun run(candidates, 7, patterns, results);
  ScanContentChunk(2, run);
  EXPECT_EQ(PathsOf(results), (Paths{u"C:\\f8.txt", u"C:\\f9.txt"}));
  ScanContentChunk(0, run);
  EXPECT_EQ(results.size(), 6u);
  EXPECT_EQ(PathsOf(results)[2], u"C:\\f0.txt");
  EXPECT_EQ(run.processed.load(), 6u);
}

TEST_F(ContentSearchTest, ProgressEveryFifthFileAndAtMostEvery100Ms) {
  for (int i = 0; i < 12; ++i) Write('C', "f" + std::to_string(i) + ".txt", "x");
  Index('C');
  FakeClock clock;
  clock.now = 101;
  clock.step = 101;  // every file is more than 100 ms after the one before
  clockOverride.store(&clock);
  searchGeneration.store(9);
  MatchList results;
  ASSERT_TRUE(RunContentPass(ParseQuery(u"s:y"), 9, -1, results));
  EXPECT_TRUE(results.empty());
  const Paths titles = TakeTitles();
  ASSERT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles[0], u"Filtered 12 files, starting scan...");
  EXPECT_EQ(titles[1], u"Scanning contents... (Processed 5 / 12)");
  EXPECT_EQ(titles[2], u"Scanning contents... (Processed 10 / 12)");
  for (const auto& message : poster.Messages()) EXPECT_EQ(message.wParam, 9u);
}

TEST_F(ContentSearchTest, ShutdownOrANewSearchMidScanKeepsNothing) {
  for (int i = 0; i < 30; ++i) Write('C', "f" + std::to_string(i) + ".txt", "hit");
  Index('C');
  for (bool shutdown : {true, false}) {
    FakeClock clock;
    // The clock is read once per scanned file: the fourth file ends the run.
    clock.onTick = [shutdown](uint64_t call) {
      if (call != 4) return;
      if (shutdown) {
        shuttingDown.store(true);
      } else {
        searchGeneration.fetch_add(1);
      }
    };
    clockOverride.store(&clock);
    searchGeneration.store(20);
    MatchList results;
    EXPECT_FALSE(RunContentPass(ParseQuery(u"s:hit"), 20, -1, results));
    EXPECT_TRUE(results.empty()) << "matches already found are thrown away";
    EXPECT_LE(clock.calls.load(), 6u) << "each thread stops before its next file";
    clockOverride.store(nullptr);
    shuttingDown.store(false);
  }
  // Stale before the scan starts: nothing is selected or scanned.
  searchGeneration.store(30);
  MatchList results;
  EXPECT_FALSE(RunContentPass(ParseQuery(u"s:hit"), 29, -1, results));
  shuttingDown.store(true);
  EXPECT_FALSE(RunContentPass(ParseQuery(u"s:hit"), 30, -1, results));
  shuttingDown.store(false);
  EXPECT_TRUE(results.empty());
}

}  // namespace
}  // namespace qm
