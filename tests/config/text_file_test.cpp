#include "config/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/config_fakes.h"

namespace qm {
namespace {

using testing::FileBytes;
using testing::FileExists;
using testing::PutFileBytes;
using testing::TempFolder;
using testing::TestConfigSystem;

std::u16string Decoded(std::string_view bytes) {
  std::u16string text;
  EXPECT_TRUE(DecodeTextFile(bytes, &text));
  return text;
}

TEST(TextFileDecode, MarkDecidesTheEncodingAndCrLfBecomesLf) {
  const struct {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"", u""},
      {"\xEF\xBB\xBF", u""},
      {"\xEF\xBB\xBF"
       "a=b\r\nc\r\n",
       u"a=b\nc\n"},
      {"a=b\nc", u"a=b\nc"},              // hand-edited: no mark, LF only
      {"a\rb\r\r\nc\r", u"a\rb\r\nc\r"},  // a lone CR stays
      {"\xEF\xBB\xBF\xEF\xBB\xBF"
       "x",
       u"\uFEFFx"},  // only the first mark is taken
      {"\xE6\x96\x87\xE6\xA1\xA3=.doc", u"文档=.doc"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      // UTF-16 little-endian with its mark; an odd last byte is dropped.
      {std::string("\xFF\xFE"
                   "a\0\r\0\n\0\x87\x65",
                   10),
       u"a\n文"},
      {std::string("\xFF\xFE"
                   "a\0b",
                   5),
       u"a"},
      {"\xFF\xFE", u""},
      // Bytes that are not UTF-8 each become U+FFFD; the rest of the line survives.
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"x\xE6\x96", u"x\uFFFD\uFFFD"},          // cut off at the end of the file
      {"\xE6\x96\n", u"\uFFFD\uFFFD\n"},        // cut off by a line end
      {"\x80\r\n", u"\uFFFD\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decoded(c.bytes), c.text) << ::testing::PrintToString(c.bytes);
  }
}

TEST(TextFileDecode, BigEndianMarkMakesTheFileUnreadable) {
  std::u16string text = u"old";
  EXPECT_FALSE(DecodeTextFile(std::string("\xFE\xFF\0a", 4), &text));
  EXPECT_TRUE(text.empty());
}

TEST(TextFilePieces, LongLinesComeInPiecesOfTheBufferMinusOne) {
  const std::u16string line(1500, u'x');
  std::vector<std::u16string> pieces = SplitLinePieces(line + u"\nnext\n", 1024);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::u16string(1023, u'x'));
  EXPECT_EQ(pieces[1], std::u16string(477, u'x') + u"\n");
  EXPECT_EQ(pieces[2], u"next\n");

  // 1022 units and the LF fit one buffer; 1023 units push the LF into a piece of its own.
  pieces = SplitLinePieces(std::u16string(1022, u'a') + u"\n", 1024);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].size(), 1023u);
  pieces = SplitLinePieces(std::u16string(1023, u'a') + u"\n", 1024);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1], u"\n");
}

TEST(TextFilePieces, LinesEmptyLinesAndNuls) {
  const struct {
    std::u16string text;
    size_t buffer;
    std::vector<std::u16string> pieces;
  } cases[] = {
      {u"", 256, {}},
      {u"a", 256, {u"a"}},
      {u"a\n\nb", 256, {u"a\n", u"\n", u"b"}},
      {u"abcde", 3, {u"ab", u"cd", u"e"}},
      {u"ab\ncd", 2, {u"a", u"b", u"\n", u"c", u"d"}},
      {u"ab\n", 0, {u"a", u"b", u"\n"}},  // a buffer below two units reads one unit at a time
      // A NUL ends the C string the line buffer holds; the piece boundaries stay.
      {std::u16string(u"ab\0cd\nef", 8), 256, {u"ab", u"ef"}},
      {std::u16string(u"\0x\n", 3), 256, {u""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLinePieces(c.text, c.buffer), c.pieces);
  }
}

TEST(TextFileEncode, MarkUtf8AndCrLf) {
  EXPECT_EQ(EncodeTextFile(u""), "\xEF\xBB\xBF");
  EXPECT_EQ(EncodeTextFile(u"a=b\nc\n"),
            "\xEF\xBB\xBF"
            "a=b\r\nc\r\n");
  EXPECT_EQ(EncodeTextFile(u"\n\n"), "\xEF\xBB\xBF\r\n\r\n");
  EXPECT_EQ(EncodeTextFile(u"文档=\n"), "\xEF\xBB\xBF\xE6\x96\x87\xE6\xA1\xA3=\r\n");
  EXPECT_EQ(EncodeTextFile(u"\U0001F600"), "\xEF\xBB\xBF\xF0\x9F\x98\x80");
  // An unpaired surrogate has no UTF-8 form and is written as U+FFFD.
  EXPECT_EQ(EncodeTextFile(u"a\xD800\nb\xDC00"),
            "\xEF\xBB\xBF"
            "a\xEF\xBF\xBD\r\nb\xEF\xBF\xBD");
  // A CR the text holds is written as it is.
  EXPECT_EQ(EncodeTextFile(u"a\rb\n"),
            "\xEF\xBB\xBF"
            "a\rb\r\n");
}

TEST(TextFileEncode, WhatIsWrittenReadsBack) {
  const std::u16string texts[] = {u"", u"a\n", u"所有文件=\nDocuments=.doc,.md\n", u"x\ty\n\nz",
                                  u"\U0001F600\u00C4\n"};
  for (const std::u16string& text : texts) {
    EXPECT_EQ(Decoded(EncodeTextFile(text)), text);
  }
}

class TextFileOnDisk : public ::testing::Test {
 protected:
  TempFolder folder;
  TestConfigSystem system{std::nullopt};
  std::u16string target = folder.program() + u"\\filters.ini";
  std::u16string temp = target + u".tmp";
};

TEST_F(TextFileOnDisk, WriteProducesTheBytesOfTheDirectWrite) {
  ASSERT_TRUE(WriteTextFile(system, target, u"All Files=\n文档=.doc\n"));
  EXPECT_EQ(FileBytes(target),
            "\xEF\xBB\xBF"
            "All Files=\r\n\xE6\x96\x87\xE6\xA1\xA3=.doc\r\n");
  EXPECT_FALSE(FileExists(temp));

  // A second save replaces the first completely, also when it is shorter.
  ASSERT_TRUE(WriteTextFile(system, target, u"a\n"));
  EXPECT_EQ(FileBytes(target),
            "\xEF\xBB\xBF"
            "a\r\n");
  EXPECT_FALSE(FileExists(temp));
}

TEST_F(TextFileOnDisk, ReadMissingFileFails) {
  std::vector<std::u16string> pieces = {u"stale"};
  EXPECT_EQ(ReadTextFile(system, target, 1024, &pieces), TextFileRead::kNotOpened);
  EXPECT_TRUE(pieces.empty());
  // A folder is no file.
  EXPECT_EQ(ReadTextFile(system, folder.program(), 1024, &pieces), TextFileRead::kNotOpened);
}

TEST_F(TextFileOnDisk, ReadsHandEditedAndProgramWrittenFilesAlike) {
  PutFileBytes(target, "a=b  \nc\n");
  std::vector<std::u16string> edited;
  ASSERT_EQ(ReadTextFile(system, target, 1024, &edited), TextFileRead::kText);
  ASSERT_TRUE(WriteTextFile(system, target, u"a=b  \nc\n"));
  std::vector<std::u16string> written;
  ASSERT_EQ(ReadTextFile(system, target, 1024, &written), TextFileRead::kText);
  EXPECT_EQ(edited, written);
  EXPECT_EQ(written, (std::vector<std::u16string>{u"a=b  \n", u"c\n"}));
}

TEST_F(TextFileOnDisk, EmptyFileReadsAsNoLines) {
  PutFileBytes(target, "");
  std::vector<std::u16string> pieces;
  EXPECT_EQ(ReadTextFile(system, target, 1024, &pieces), TextFileRead::kBlank);
  EXPECT_TRUE(pieces.empty());
}

TEST_F(TextFileOnDisk, FailedWriteLeavesTheOldFileIntact) {
  PutFileBytes(target, "old contents\r\n");
  system.failWriteAfter = 5;  // the disk fills up after five bytes
  EXPECT_FALSE(WriteTextFile(system, target, u"new contents that do not fit\n"));
  EXPECT_EQ(FileBytes(target), "old contents\r\n");
  EXPECT_FALSE(FileExists(temp));
  EXPECT_EQ(system.writtenPaths, std::vector<std::u16string>{temp});  // never the target itself
}

TEST_F(TextFileOnDisk, FailedReplaceLeavesTheOldFileIntact) {
  PutFileBytes(target, "old\r\n");
  system.failReplace = true;
  EXPECT_FALSE(WriteTextFile(system, target, u"new\n"));
  EXPECT_EQ(FileBytes(target), "old\r\n");
  EXPECT_FALSE(FileExists(temp));
}

TEST_F(TextFileOnDisk, SaveIntoAMissingFolderFailsQuietly) {
  const std::u16string nowhere = folder.program() + u"\\missing\\filters.ini";
  EXPECT_FALSE(WriteTextFile(system, nowhere, u"a\n"));
  EXPECT_FALSE(FileExists(nowhere));
}

TEST_F(TextFileOnDisk, NonAsciiFolderNames) {
  const std::u16string sub = folder.program() + u"\\配置 Ärger";
  system.MakeFolder(sub);
  const std::u16string path = sub + u"\\recent.ini";
  ASSERT_TRUE(WriteTextFile(system, path, u"1\tC:\\文件.txt\n"));
  std::vector<std::u16string> pieces;
  ASSERT_EQ(ReadTextFile(system, path, 4096, &pieces), TextFileRead::kText);
  EXPECT_EQ(pieces, std::vector<std::u16string>{u"1\tC:\\文件.txt\n"});
}

#ifndef _WIN32
// Links are made natively only: Wine's CreateSymbolicLinkW reports success and makes nothing.
TEST_F(TextFileOnDisk, SavingThroughASymbolicLinkWritesItsTarget) {
  namespace fs = std::filesystem;
  const fs::path elsewhere = folder.path() / "elsewhere";
  fs::create_directories(elsewhere);
  PutFileBytes(testing::ProgramPath(elsewhere / "real.ini"), "old\r\n");
  const fs::path link = folder.path() / "filters.ini";  // relative: elsewhere/real.ini
  const fs::path chain = folder.path() / "chain.ini";   // a link to the link
  const fs::path dangling = folder.path() / "recent.ini";
  fs::create_symlink(fs::path("elsewhere") / "real.ini", link);
  fs::create_symlink(folder.path() / "filters.ini", chain);
  fs::create_symlink(elsewhere / "new.ini", dangling);

  ASSERT_TRUE(WriteTextFile(system, testing::ProgramPath(chain), u"a\n"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_symlink(chain));
  EXPECT_EQ(FileBytes(testing::ProgramPath(elsewhere / "real.ini")),
            "\xEF\xBB\xBF"
            "a\r\n");
  // The temporary file was beside the target, and is gone.
  EXPECT_EQ(system.writtenPaths,
            std::vector<std::u16string>{testing::ProgramPath(elsewhere / "real.ini.tmp")});
  EXPECT_FALSE(FileExists(testing::ProgramPath(elsewhere / "real.ini.tmp")));

  // A link whose target does not exist yet gets it.
  ASSERT_TRUE(WriteTextFile(system, testing::ProgramPath(dangling), u"b\n"));
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(FileBytes(testing::ProgramPath(elsewhere / "new.ini")),
            "\xEF\xBB\xBF"
            "b\r\n");

  // A copy saved through a link lands in its target too.
  ASSERT_TRUE(SaveCopy(system, testing::ProgramPath(dangling), testing::ProgramPath(link)));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(FileBytes(testing::ProgramPath(elsewhere / "real.ini")),
            "\xEF\xBB\xBF"
            "b\r\n");
}
#endif

TEST_F(TextFileOnDisk, SaveCopyGoesThroughATemporaryFile) {
  PutFileBytes(target, "old backup\r\n");
  const std::u16string source = folder.program() + u"\\source.ini";
  PutFileBytes(source, std::string("\xEF\xBB\xBFx=\0y\r\n", 9));
  ASSERT_TRUE(SaveCopy(system, source, target));
  EXPECT_EQ(FileBytes(target), FileBytes(source));
  EXPECT_FALSE(FileExists(temp));

  // A copy that fails half-way, or whose replace fails, leaves the old file whole.
  PutFileBytes(target, "old backup\r\n");
  system.failWriteAfter = 4;
  EXPECT_FALSE(SaveCopy(system, source, target));
  EXPECT_EQ(FileBytes(target), "old backup\r\n");
  EXPECT_FALSE(FileExists(temp));
  system.failWriteAfter.reset();
  system.failReplace = true;
  EXPECT_FALSE(SaveCopy(system, source, target));
  EXPECT_EQ(FileBytes(target), "old backup\r\n");
  EXPECT_FALSE(FileExists(temp));
  // A missing source changes nothing.
  system.failReplace = false;
  EXPECT_FALSE(SaveCopy(system, folder.program() + u"\\missing.ini", target));
  EXPECT_EQ(FileBytes(target), "old backup\r\n");
}

TEST(TextFileRead, WhatTheFileHolds) {
  const struct {
    std::optional<std::string> bytes;  // none: no such file
    TextFileRead read;
  } cases[] = {
      {std::nullopt, TextFileRead::kNotOpened},
      {"", TextFileRead::kBlank},
      {"\xEF\xBB\xBF", TextFileRead::kBlank},
      {"\xFF\xFE", TextFileRead::kBlank},
      {"\xEF\xBB\xBF \t\r\n\r\n", TextFileRead::kBlank},
      {"\xFE\xFF", TextFileRead::kUndecodable},
      {std::string("\xFE\xFF\0a\0=", 6), TextFileRead::kUndecodable},
      {"x", TextFileRead::kText},
      {std::string("\0\0\0", 3), TextFileRead::kText},  // NULs are no blanks
      {"\xEF\xBB\xBF\v", TextFileRead::kText},
  };
  for (const auto& c : cases) {
    testing::MemoryConfigSystem memory;
    if (c.bytes) memory.files[u"f"] = *c.bytes;
    std::vector<std::u16string> pieces;
    EXPECT_EQ(ReadTextFile(memory, u"f", 1024, &pieces), c.read)
        << ::testing::PrintToString(c.bytes);
  }
}

TEST(TextFileRead, UnreadableMeansSomethingThatGaveNothing) {
  EXPECT_FALSE(IsUnreadable(TextFileRead::kNotOpened, 0));
  EXPECT_FALSE(IsUnreadable(TextFileRead::kBlank, 0));
  EXPECT_TRUE(IsUnreadable(TextFileRead::kUndecodable, 0));
  EXPECT_TRUE(IsUnreadable(TextFileRead::kText, 0));
  EXPECT_FALSE(IsUnreadable(TextFileRead::kText, 1));
}

TEST_F(TextFileOnDisk, KeepUnreadableRenamesAndReplacesAnOlderOne) {
  const std::u16string kept = target + u".unreadable";
  PutFileBytes(kept, "older");
  PutFileBytes(target, "\xFE\xFF");
  ASSERT_TRUE(KeepUnreadable(system, target));
  EXPECT_EQ(FileBytes(kept), "\xFE\xFF");
  EXPECT_FALSE(FileExists(target));
  EXPECT_FALSE(KeepUnreadable(system, target));  // nothing left to keep
  EXPECT_EQ(FileBytes(kept), "\xFE\xFF");
}

TEST(TextFileRead, AsksForNoMoreThanTheCap) {
  struct CapRecorder : testing::MemoryConfigSystem {
    bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
      askedMax = maxBytes;
      return MemoryConfigSystem::ReadBytes(path, maxBytes, bytes);
    }
    size_t askedMax = 0;
  } memory;
  memory.files[u"f"] = "abc\ndef";
  std::vector<std::u16string> pieces;
  ASSERT_EQ(ReadTextFile(memory, u"f", 1024, &pieces), TextFileRead::kText);
  EXPECT_EQ(memory.askedMax, kMaxTextFileBytes);
  EXPECT_EQ(pieces, (std::vector<std::u16string>{u"abc\n", u"def"}));
}

}  // namespace
}  // namespace qm
