#include "config/text_file.h"

#include <gtest/gtest.h>

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
  EXPECT_FALSE(ReadTextFile(system, target, 1024, &pieces));
  EXPECT_TRUE(pieces.empty());
  // A folder is no file.
  EXPECT_FALSE(ReadTextFile(system, folder.program(), 1024, &pieces));
}

TEST_F(TextFileOnDisk, ReadsHandEditedAndProgramWrittenFilesAlike) {
  PutFileBytes(target, "a=b  \nc\n");
  std::vector<std::u16string> edited;
  ASSERT_TRUE(ReadTextFile(system, target, 1024, &edited));
  ASSERT_TRUE(WriteTextFile(system, target, u"a=b  \nc\n"));
  std::vector<std::u16string> written;
  ASSERT_TRUE(ReadTextFile(system, target, 1024, &written));
  EXPECT_EQ(edited, written);
  EXPECT_EQ(written, (std::vector<std::u16string>{u"a=b  \n", u"c\n"}));
}

TEST_F(TextFileOnDisk, EmptyFileReadsAsNoLines) {
  PutFileBytes(target, "");
  std::vector<std::u16string> pieces;
  EXPECT_TRUE(ReadTextFile(system, target, 1024, &pieces));
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
  ASSERT_TRUE(ReadTextFile(system, path, 4096, &pieces));
  EXPECT_EQ(pieces, std::vector<std::u16string>{u"1\tC:\\文件.txt\n"});
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
  ASSERT_TRUE(ReadTextFile(memory, u"f", 1024, &pieces));
  EXPECT_EQ(memory.askedMax, kMaxTextFileBytes);
  EXPECT_EQ(pieces, (std::vector<std::u16string>{u"abc\n", u"def"}));
}

}  // namespace
}  // namespace qm
