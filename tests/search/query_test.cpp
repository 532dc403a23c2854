#include "search/query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/trim_blanks.h"
#include "index/name_pool.h"

namespace qm {
namespace {

using Exts = std::vector<std::u16string>;

// A record whose name is stored as the name pool stores it.
struct TestRecord {
  TestRecord(std::u16string_view name, bool isDirectory = false, bool deleted = false) {
    record.frn = 1;
    record.parentFrn = 5;
    record.name = AddName(pool, name.data(), name.size());
    record.nameLength = uint16_t(name.size());
    record.isDirectory = isDirectory;
    record.deleted = deleted;
  }
  NamePool pool;
  FileRecord record{};
};

TEST(FoldCase, OnlyAToZ) {
  EXPECT_EQ(FoldCase(u"README.TXT"), u"readme.txt");
  EXPECT_EQ(FoldCase(u"@AZ[`az{"), u"@az[`az{");
  EXPECT_EQ(FoldCase(u"ÄRGER Ärger İI ΣΑ ＡＢ"), u"Ärger Ärger İi ΣΑ ＡＢ");
  EXPECT_EQ(FoldCase(u"\U0001F600X"), u"\U0001F600x");
  EXPECT_EQ(FoldCase(u""), u"");
  EXPECT_EQ(FoldCase(std::u16string(u"A\0B", 3)), std::u16string(u"a\0b", 3));
}

TEST(ParseQuery, NameAndContentQueries) {
  const struct {
    std::u16string query;
    bool isContent;
    std::u16string text;
    Exts extensions;
  } cases[] = {
      {u"report 2024", false, u"", {}},
      {u"S:notes", false, u"", {}},  // upper-case S is no prefix
      {u" s:notes", true, u"notes", {u".txt"}},
      {u"s:invoice", true, u"invoice", {u".txt"}},
      {u"s:", false, u"", {}},
      {u"s:  \t ", false, u"", {}},
      {u"s:abc|txt,md", true, u"abc", {u".txt", u".md"}},
      {u"s:abc| .TXT , md ", true, u"abc", {u".txt", u".md"}},
      {u"s:abc|", true, u"abc", {}},
      {u"s:abc|,,", true, u"abc", {}},
      {u"s:a|b|c", true, u"a", {u".b|c"}},
      {u"s:|log", true, u"", {u".log"}},
      {u"s:Total due | log, .CSV ,md", true, u"Total due", {u".log", u".csv", u".md"}},
      {u"s:  Ärger  ", true, u"Ärger", {u".txt"}},  // the text keeps its case
      {u"s:x|..Tar.GZ", true, u"x", {u"..tar.gz"}},
      {u"s:s:", true, u"s:", {u".txt"}},
      {u"ss:x", false, u"", {}},
  };
  for (const auto& c : cases) {
    const ParsedQuery parsed = ParseQuery(c.query);
    EXPECT_EQ(parsed.isContent, c.isContent) << ::testing::PrintToString(c.query);
    EXPECT_EQ(parsed.text, c.text) << ::testing::PrintToString(c.query);
    EXPECT_EQ(parsed.extensions, c.extensions) << ::testing::PrintToString(c.query);
  }
}

TEST(NameMatches, LiteralSubstringOfTheLowerCaseName) {
  const struct {
    std::u16string name;
    std::u16string query;  // as typed; folded before matching
    bool matches;
  } cases[] = {
      {u"Readme.md", u"Readme", true},
      {u"Readme.md", u"README", true},
      {u"README.MD", u"readme", true},
      {u"ärger.txt", u"Ärger", false},  // only A to Z fold
      {u"Ärger.txt", u"Ärger", true},
      {u"a b.txt", u"a b", true},
      {u"a_b.txt", u"a b", false},
      {u"file.txt", u"*.txt", false},
      {u"x*.txt", u"*.txt", true},
      {u"abc", u"abc", true},
      {u"abc", u"abcd", false},
      {u"ab", u"bc", false},
      {u"aaab", u"aab", true},
      {u"photos", u"PHOTOS", true},
      {u"Dir", u"", true},
      {u"", u"", true},
      {u"", u"a", false},
  };
  for (const auto& c : cases) {
    TestRecord r(c.name);
    EXPECT_EQ(NameMatches(r.pool, r.record, FoldCase(c.query)), c.matches)
        << ::testing::PrintToString(c.name) << " / " << ::testing::PrintToString(c.query);
  }
}

TEST(NameMatches, DeletedNeverAndShortNamesWithoutReadingTheName) {
  TestRecord deleted(u"readme", false, true);
  EXPECT_FALSE(NameMatches(deleted.pool, deleted.record, u"readme"));
  EXPECT_FALSE(NameMatches(deleted.pool, deleted.record, u""));
  // The stored length decides first: a record too short for the query is rejected without its
  // name being touched (its name pool holds no chunk at all).
  const NamePool empty;
  FileRecord shortRecord{};
  shortRecord.name = 12345;
  shortRecord.nameLength = 3;
  EXPECT_FALSE(NameMatches(empty, shortRecord, u"abcd"));
  // Directories are tested like files.
  TestRecord dir(u"Projects", true);
  EXPECT_TRUE(NameMatches(dir.pool, dir.record, u"proj"));
}

TEST(ExtensionListed, LastDotToTheEndFolded) {
  const struct {
    std::u16string name;
    Exts list;
    bool listed;
  } cases[] = {
      {u"noext", {u".txt"}, false},
      {u"a.b.c", {u".c"}, true},
      {u"a.b.c", {u".b.c"}, false},
      {u"archive.tar.GZ", {u".gz"}, true},
      {u"archive.tar.gz", {u".tar.gz"}, false},
      {u".bashrc", {u".bashrc"}, true},
      {u"file.", {u"."}, true},
      {u"file.", {u".txt"}, false},
      {u"NOTES.TXT", {u".txt"}, true},
      {u"notes.txt", {}, false},
      {u"notes.txt", {u".md", u".txt"}, true},
      {u"notes.txt", {u".tx"}, false},
      {u"notes.txt", {u".txtx"}, false},
      {u"notes.Ätxt", {u".Ätxt"}, true},
      {u"notes.ätxt", {u".Ätxt"}, false},
      {u"", {u"."}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtensionListed(c.name, c.list), c.listed) << ::testing::PrintToString(c.name);
    EXPECT_EQ(ExtensionListed(c.name.c_str(), c.list), c.listed);
  }
}

TEST(TagAccepts, PositionZeroTakesAllOthersFilesByExtension) {
  const FilterTagList tags = {
      {u"All", {u".never"}}, {u"Pictures", {u".jpg", u".png"}}, {u"Empty", {}}};
  const struct {
    std::u16string name;
    bool isDirectory;
    bool deleted;
    size_t tag;
    bool accepted;
  } cases[] = {
      {u"photos.jpg", true, false, 0, true},  // position 0: directories too
      {u"notes.txt", false, false, 0, true},
      {u"noext", false, false, 0, true},
      {u"x.jpg", false, true, 0, false},  // deleted: never
      {u"x.JPG", false, false, 1, true},
      {u"photos.jpg", true, false, 1, false},  // directories: only position 0
      {u"x.txt", false, false, 1, false},
      {u"x.jpg", false, false, 2, false},  // no extensions: nothing
      {u"x.jpg", false, true, 1, false},
      // Beyond the end: position 0.
      {u"photos.jpg", true, false, 3, true},
      {u"notes.txt", false, false, 99, true},
      {u"x.jpg", false, true, 99, false},
  };
  for (const auto& c : cases) {
    TestRecord r(c.name, c.isDirectory, c.deleted);
    EXPECT_EQ(TagAccepts(r.pool, r.record, c.tag, tags), c.accepted)
        << ::testing::PrintToString(c.name) << " tag " << c.tag;
  }
  TestRecord any(u"x.y");
  EXPECT_TRUE(TagAccepts(any.pool, any.record, 1, FilterTagList{}));
}

TEST(HighlightTerm, FromTheSearchBoxText) {
  const struct {
    std::u16string box;
    std::u16string term;
  } cases[] = {
      {u"", u""},
      {u"  \t", u""},
      {u" Readme ", u"readme"},
      {u"S:Notes", u"s:notes"},
      {u"s:Total Due | log", u"total due"},
      {u"s:abc|", u"abc"},
      {u"s:|log", u""},
      {u"s:", u""},
      {u"s:a|b|c", u"a"},
      {u"  s: Ärger X ", u"Ärger x"},
      {u"a|b", u"a|b"},  // a name query keeps its bar
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HighlightTermOf(c.box), c.term) << ::testing::PrintToString(c.box);
  }
}

}  // namespace
}  // namespace qm
