#include "standin/volume_image.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/journal_layout.h"
#include "platform/utf8.h"
#include "support/enumeration_bytes.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

using testing::EnumerationBytes;

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "/" + name;
}

TEST(VolumeImageTest, ParsesTheSampleImage) {
  FakeVolume volume;
  ImageError error;
  ASSERT_TRUE(LoadVolumeImage(QM_TEST_DATA_DIR "/small_volume.img", volume, &error))
      << error.ToString();
  EXPECT_EQ(volume.EntryCount(), 8u);
  EXPECT_EQ(volume.JournalId(), 0x01D9F3A2B4C5D6E7u);
  EXPECT_EQ(volume.NextUsn(), 4096);
  EnumerationBytes(volume);  // the changes are recorded once the enumeration has ended
  EXPECT_EQ(volume.NextUsn(), 4568);

  VolumeContent content;
  ASSERT_TRUE(LoadVolumeImage(QM_TEST_DATA_DIR "/small_volume.img", &content, &error));
  ASSERT_EQ(content.entries.size(), 8u);
  EXPECT_EQ(content.Name(content.entries[5]), u"José");
  EXPECT_EQ(content.Name(content.entries[7]), u"照片 012.jpg");
  ASSERT_EQ(content.changes.size(), 5u);
  EXPECT_EQ(content.changes[1].reason, 0x80000102u);
  EXPECT_EQ(content.Name(content.changes[3]), u"Report.docx");
}

TEST(VolumeImageTest, ReadsEveryFieldOfEachLine) {
  const std::string text =
      "\xEF\xBB\xBF# comment\r\n"
      "\r\n"
      "  \t \n"
      "entry\t0x0001000000000010\t5\t0x10\t8\tDir name\twith tab \r\n"
      "entry\t18446744073709551615\t0X1f\t4294967295\t9223372036854775807\t\n"
      "journal\t0xFFFFFFFFFFFFFFFF\t0\t9223372036854775807\n"
      "change\t16\t0x80000000\t0x22\t0x10\t0x20\tA\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  VolumeContent content;
  ImageError error;
  ASSERT_TRUE(ParseVolumeImage(text, "t.img", &content, &error)) << error.ToString();
  ASSERT_EQ(content.entries.size(), 2u);
  const auto& first = content.entries[0];
  EXPECT_EQ(first.frn, 0x0001000000000010u);
  EXPECT_EQ(first.parentFrn, 5u);
  EXPECT_EQ(first.attributes, 0x10u);
  EXPECT_EQ(first.usn, 8);
  EXPECT_EQ(content.Name(first), u"Dir name\twith tab ");
  const auto& second = content.entries[1];
  EXPECT_EQ(second.frn, UINT64_MAX);
  EXPECT_EQ(second.parentFrn, 0x1Fu);
  EXPECT_EQ(second.attributes, UINT32_MAX);
  EXPECT_EQ(second.usn, INT64_MAX);
  EXPECT_EQ(content.Name(second), u"");
  EXPECT_TRUE(content.hasJournal);
  EXPECT_EQ(content.journalId, UINT64_MAX);
  EXPECT_EQ(content.firstUsn, 0);
  EXPECT_EQ(content.nextUsn, INT64_MAX);
  ASSERT_EQ(content.changes.size(), 1u);
  const auto& change = content.changes[0];
  EXPECT_EQ(change.usn, 16);
  EXPECT_EQ(change.reason, 0x80000000u);
  EXPECT_EQ(change.frn, 0x22u);
  EXPECT_EQ(change.parentFrn, 0x10u);
  EXPECT_EQ(change.attributes, 0x20u);
  EXPECT_EQ(content.Name(change), u"A\u00E9\u4E2D\U0001F600");
}

TEST(VolumeImageTest, EquivalentSpellingsOfANumber) {
  for (const char* spelling : {"16", "0x10", "0X10", "0x0010", "00016", "0x000000000000010"}) {
    VolumeContent content;
    ImageError error;
    const std::string text = std::string("entry\t1\t") + spelling + "\t0\t0\tx\n";
    ASSERT_TRUE(ParseVolumeImage(text, "t.img", &content, &error)) << spelling;
    EXPECT_EQ(content.entries[0].parentFrn, 16u) << spelling;
  }
}

TEST(VolumeImageTest, AnImageWithoutJournalLeavesTheVolumeWithoutOne) {
  FakeVolume volume;
  ImageError error;
  ASSERT_TRUE(ParseVolumeImage("entry\t5\t5\t0x10\t0\t.\n", "t.img", volume, &error));
  EXPECT_FALSE(volume.JournalActive());
  EXPECT_EQ(volume.EntryCount(), 1u);
}

TEST(VolumeImageTest, MalformedLinesAreRejectedWithTheirLineAndNothingIsLoaded) {
  const std::string good = "# ok\njournal\t1\t8\t100\nentry\t5\t5\t0x10\t0\t.\n";
  struct Case {
    std::string text;  // appended to `good` (lines 1-3)
    size_t line;
    const char* message;  // a part of the message
  };
  const std::string longName(256, 'a');
  const std::string longWideName = std::string(255, 'a') + "\xC3\xA9";  // 256 units, 257 bytes
  const Case cases[] = {
      {"entries\t1\t5\t0\t0\tx\n", 4, "unknown item \"entries\""},
      {"Entry\t1\t5\t0\t0\tx\n", 4, "unknown item"},
      {" entry\t1\t5\t0\t0\tx\n", 4, "unknown item"},
      {"entry\n", 4, "expected 4 numbers and a name"},
      {"entry\t1\t5\t0\t0\n", 4, "expected 4 numbers and a name"},
      {"entry\t1\t5\t0\n", 4, "expected 4 numbers"},
      {"entry\t1\t\t0\t0\tx\n", 4, "parentFrn is empty"},
      {"entry\t1\t5\t0\t-5\tx\n", 4, "usn \"-5\" is not a number"},
      {"entry\t+1\t5\t0\t0\tx\n", 4, "frn \"+1\" is not a number"},
      {"entry\t1 \t5\t0\t0\tx\n", 4, "frn \"1 \" is not a number"},
      {"entry\t12abc\t5\t0\t0\tx\n", 4, "frn \"12abc\" is not a number"},
      {"entry\t0x\t5\t0\t0\tx\n", 4, "no digits after 0x"},
      {"entry\t0xG1\t5\t0\t0\tx\n", 4, "not a number"},
      {"entry\t18446744073709551616\t5\t0\t0\tx\n", 4,
       "frn \"18446744073709551616\" is out of range"},
      {"entry\t0x10000000000000000\t5\t0\t0\tx\n", 4, "out of range"},
      {"entry\t1\t5\t0x100000000\t0\tx\n", 4, "attributes \"0x100000000\" is out of range"},
      {"entry\t1\t5\t0\t9223372036854775808\tx\n", 4,
       "usn \"9223372036854775808\" is out of range"},
      {"entry\t1\t5\t0\t0\t\xC3\n", 4, "not valid UTF-8 (byte 1"},
      {"entry\t1\t5\t0\t0\tab\xC0\xAF\n", 4, "not valid UTF-8 (byte 3"},
      {"entry\t1\t5\t0\t0\t\xED\xA0\x80\n", 4, "not valid UTF-8"},
      {"entry\t1\t5\t0\t0\t" + longName + "\n", 4, "the name has 256 UTF-16 units, more than 255"},
      {"entry\t1\t5\t0\t0\t" + longWideName + "\n", 4, "256 UTF-16 units"},
      {"change\t10\t0x100\t1\t5\t0\t" + longName + "\n", 4, "256 UTF-16 units"},
      // A change's record must end by the highest USN: the journal's next USN moves past it.
      {"change\t9223372036854775807\t0x100\t1\t5\t0\tx\n", 4,
       "change: usn 9223372036854775807 leaves no room for its 64-byte record"},
      {"change\t9223372036854775744\t0x100\t1\t5\t0\tabc\n", 4,
       "leaves no room for its 72-byte record"},
      {"# fine\n\nentry\t5\t5\t0\t0\tagain\n", 6, "frn 0x5 already given on line 3"},
      {"entry\t9\t5\t0\t0\tb\nentry\t7\t5\t0\t0\tc\nentry\t9\t5\t0\t0\td\n", 6,
       "frn 0x9 already given on line 4"},
      {"journal\t2\t0\t100\n", 4, "second journal line (the first is on line 2)"},
      {"change\t10\t0x100\t1\t5\t0\tx\nchange\t10\t0x100\t1\t5\t0\tx\n", 5, "not above"},
      {"change\t10\t0x100\t1\t5\t0\tx\nchange\t9\t0x100\t1\t5\t0\tx\n", 5, "not above"},
      {"change\t7\t0x100\t1\t5\t0\tx\n", 4, "usn 7 is below the journal's firstUsn 8"},
      {"change\t10\t0x100\t1\t5\t0\n", 4, "expected 5 numbers and a name"},
      {"change\t10\t0x100000000\t1\t5\t0\tx\n", 4, "reason"},
  };
  for (const Case& c : cases) {
    FakeVolume volume;
    const uint64_t id = volume.JournalId();
    ImageError error;
    EXPECT_FALSE(ParseVolumeImage(good + c.text, "bad.img", volume, &error)) << c.text;
    EXPECT_EQ(error.file, "bad.img");
    EXPECT_EQ(error.line, c.line) << c.text << " -> " << error.ToString();
    EXPECT_NE(error.message.find(c.message), std::string::npos)
        << c.text << " -> " << error.message;
    EXPECT_EQ(volume.EntryCount(), 0u) << c.text;
    EXPECT_EQ(volume.JournalId(), id) << c.text;

    VolumeContent content;
    content.AddEntry(1, 1, 0, 0, u"left over");
    EXPECT_FALSE(ParseVolumeImage(good + c.text, "bad.img", &content, nullptr));
    EXPECT_TRUE(content.entries.empty());
    EXPECT_TRUE(content.names.empty());
  }
}

TEST(VolumeImageTest, TheLongestNameAndTheHighestChangeAreTaken) {
  const std::string name(255, 'a');
  const std::string text =
      "journal\t1\t0\t0\n"
      "entry\t5\t5\t0x10\t9223372036854775807\t" +
      name + "\n" + "change\t9223372036854775743\t0x100\t1\t5\t0\tx\n";
  FakeVolume volume;
  ImageError error;
  ASSERT_TRUE(ParseVolumeImage(text, "t.img", volume, &error)) << error.ToString();
  EnumerationBytes(volume);
  EXPECT_EQ(volume.NextUsn(), 0x7FFFFFFFFFFFFFFF) << "the change's record ends at the top";
}

TEST(VolumeImageTest, OnlyARegularFileIsRead) {
  testing::TempFolder folder;
  FakeVolume volume;
  ImageError error;
  EXPECT_FALSE(LoadVolumeImage(folder.path(), volume, &error));
  EXPECT_EQ(error.line, 0u);
  EXPECT_EQ(error.message, "not a regular file");
#ifndef _WIN32
  // A pipe would block for ever, a device never end.
  const std::filesystem::path pipe = folder.path() / "pipe.img";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::filesystem::path& path : {pipe, std::filesystem::path("/dev/zero")}) {
    EXPECT_FALSE(LoadVolumeImage(path, volume, &error)) << path;
    EXPECT_EQ(error.ToString(), path.string() + ": not a regular file");
  }
  // A link to a regular file is read as that file.
  const std::filesystem::path image = folder.path() / "c.img";
  std::FILE* file = std::fopen(image.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("entry\t5\t5\t0x10\t0\t.\n", file);
  std::fclose(file);
  std::filesystem::create_symlink(image, folder.path() / "link.img");
  EXPECT_TRUE(LoadVolumeImage(folder.path() / "link.img", volume, &error)) << error.ToString();
  EXPECT_EQ(volume.EntryCount(), 1u);
#endif
}

TEST(VolumeImageTest, JournalLineProblems) {
  struct Case {
    std::string text;
    size_t line;
    const char* message;
  };
  const Case cases[] = {
      {"journal\t1\t0\n", 1, "expected 3 numbers"},
      {"journal\t1\t0\t5\tx\n", 1, "unexpected text after nextUsn"},
      {"journal\t1\t0\t5\t\n", 1, "unexpected text after nextUsn"},
      {"journal\t1\t6\t5\n", 1, "firstUsn 6 is above nextUsn 5"},
      {"change\t1\t0x100\t1\t5\t0\tx\n", 1, "no journal line"},
      {"change\t1\t0x100\t1\t5\t0\tx\njournal\t1\t2\t50\n", 1, "below the journal's firstUsn"},
  };
  for (const Case& c : cases) {
    VolumeContent content;
    ImageError error;
    EXPECT_FALSE(ParseVolumeImage(c.text, "j.img", &content, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
  }
  // A journal line after the changes it holds is fine.
  VolumeContent content;
  EXPECT_TRUE(ParseVolumeImage("change\t2\t0x100\t1\t5\t0\tx\njournal\t1\t2\t50\n", "j.img",
                               &content, nullptr));
}

TEST(VolumeImageTest, ChangesFromNextUsnOnAreRecordedAfterTheEnumeration) {
  const std::string text =
      "journal\t5\t0\t100\n"
      "entry\t0x20\t0x20\t0x10\t0\t.\n"
      "change\t16\t0x100\t0x21\t0x20\t0x20\tbefore\n"
      "change\t100\t0x100\t0x22\t0x20\t0x20\tafter\n"
      "change\t184\t0x80000200\t0x22\t0x20\t0x20\tafter\n";
  FakeVolume volume;
  ImageError error;
  ASSERT_TRUE(ParseVolumeImage(text, "later.img", volume, &error)) << error.ToString();
  VolumeHandle handle;
  ASSERT_EQ(volume.Open(u"\\\\.\\C:", kGenericRead, &handle), kErrorSuccess);
  auto read = [&](int64_t start) {
    uint8_t in[ReadUsnJournalData::kSize];
    ReadUsnJournalData request;
    request.startUsn = start;
    request.reasonMask = 0xFFFFFFFF;
    request.usnJournalId = 5;
    Encode(request, in);
    std::vector<uint8_t> out(4096);
    uint32_t returned = 0;
    EXPECT_EQ(volume.Control(handle, kFsctlReadUsnJournal, in, sizeof in, out.data(),
                             uint32_t(out.size()), &returned),
              kErrorSuccess);
    out.resize(returned);
    return out;
  };
  // Before the enumeration the journal holds the first entry only and ends at 100.
  EXPECT_EQ(volume.NextUsn(), 100);
  EXPECT_EQ(read(0).size(), 8u + UsnRecordSize(6));
  EXPECT_EQ(read(100).size(), 8u);

  EnumerationBytes(volume);
  EXPECT_EQ(volume.NextUsn(), 184 + int64_t(UsnRecordSize(5)));
  const std::vector<uint8_t> later = read(100);
  ASSERT_EQ(later.size(), 8u + 2 * UsnRecordSize(5));
  EXPECT_EQ(int64_t(LoadLe64(later.data())), volume.NextUsn());
  EXPECT_EQ(LoadLe64(later.data() + 8 + usn_record_v2::kUsn), 100u);
  volume.Close(handle);
}

TEST(VolumeImageTest, ErrorTextNamesFileAndLine) {
  EXPECT_EQ((ImageError{"a.img", 7, "bad"}).ToString(), "a.img:7: bad");
  EXPECT_EQ((ImageError{"a.img", 0, "cannot be read"}).ToString(), "a.img: cannot be read");
  FakeVolume volume;
  ImageError error;
  EXPECT_FALSE(LoadVolumeImage(TempPath("does-not-exist.img"), volume, &error));
  EXPECT_EQ(error.line, 0u);
  EXPECT_EQ(error.message, "cannot be read");
}

TEST(VolumeImageTest, FormatAndParseRoundTrip) {
  VolumeContent content;
  content.hasJournal = true;
  content.journalId = 0x01D9000000000001;
  content.firstUsn = 64;
  content.nextUsn = 4096;
  content.AddEntry(0x0005000000000005, 0x0005000000000005, 0x16, 0, u".");
  content.AddEntry(0x0001000000000020, 0x0005000000000005, 0x20, 56, u"with\ttab and space ");
  content.AddEntry(0x0001000000000021, 0x0005000000000005, 0x20, 8, u"");
  content.AddEntry(0x0001000000000022, 0x0005000000000005, 0x20, 8, u"中文\U0001F600\r.txt");
  content.AddChange(64, 0x80000100, 0x30, 5, 0x10, u"Ä");

  std::string text;
  std::string why;
  ASSERT_TRUE(FormatVolumeImage(content, &text, &why)) << why;
  VolumeContent parsed;
  ImageError error;
  ASSERT_TRUE(ParseVolumeImage(text, "r.img", &parsed, &error)) << error.ToString();
  EXPECT_EQ(parsed.journalId, content.journalId);
  EXPECT_EQ(parsed.firstUsn, content.firstUsn);
  EXPECT_EQ(parsed.nextUsn, content.nextUsn);
  ASSERT_EQ(parsed.entries.size(), content.entries.size());
  for (size_t i = 0; i < content.entries.size(); ++i) {
    EXPECT_EQ(parsed.entries[i].frn, content.entries[i].frn);
    EXPECT_EQ(parsed.entries[i].parentFrn, content.entries[i].parentFrn);
    EXPECT_EQ(parsed.entries[i].attributes, content.entries[i].attributes);
    EXPECT_EQ(parsed.entries[i].usn, content.entries[i].usn);
    EXPECT_EQ(parsed.Name(parsed.entries[i]), content.Name(content.entries[i]));
  }
  ASSERT_EQ(parsed.changes.size(), 1u);
  EXPECT_EQ(parsed.Name(parsed.changes[0]), u"Ä");
  EXPECT_EQ(parsed.changes[0].reason, 0x80000100u);

  // The same through a file.
  const std::string path = TempPath("round_trip.img");
  ASSERT_TRUE(WriteVolumeImage(path, content, &why)) << why;
  FakeVolume fromFile, direct;
  ASSERT_TRUE(LoadVolumeImage(path, fromFile, &error)) << error.ToString();
  FillFakeVolume(content, direct);
  EXPECT_EQ(EnumerationBytes(fromFile), EnumerationBytes(direct));
  EXPECT_EQ(fromFile.NextUsn(), 4096);
  std::remove(path.c_str());
}

TEST(VolumeImageTest, ContentNoImageCanHoldIsRefused) {
  struct Case {
    std::u16string name;
    const char* message;
  };
  const Case cases[] = {{u"line\nfeed", "line feed"},
                        {u"ends in\r", "carriage return"},
                        {std::u16string(u"lone ") + char16_t(0xD800) + u"x", "unpaired surrogate"}};
  for (const Case& c : cases) {
    VolumeContent content;
    content.AddEntry(1, 1, 0, 0, c.name);
    std::string text = "stale";
    std::string why;
    EXPECT_FALSE(FormatVolumeImage(content, &text, &why));
    EXPECT_TRUE(text.empty());
    EXPECT_NE(why.find(c.message), std::string::npos) << why;
  }
  VolumeContent orphanChanges;
  orphanChanges.AddChange(8, 0x100, 1, 5, 0, u"x");
  std::string text, why;
  EXPECT_FALSE(FormatVolumeImage(orphanChanges, &text, &why));
  EXPECT_FALSE(WriteVolumeImage(TempPath("no-such-dir/x.img"), VolumeContent(), &why));
}

TEST(VolumeImageTest, FillingAVolumeKeepsTheImagesJournal) {
  // The journal entries' records end past the stated nextUsn; the stated value still holds.
  VolumeContent content;
  content.hasJournal = true;
  content.journalId = 42;
  content.firstUsn = 0;
  content.nextUsn = 20;
  content.AddChange(8, 0x100, 1, 5, 0x20, u"a");
  content.AddChange(16, 0x200, 1, 5, 0x20, u"a");
  content.AddEntry(0x9, 5, 0x20, 4, u"b");
  content.AddEntry(0x3, 5, 0x20, 4, u"c");  // out of frn order
  FakeVolume copied, moved;
  FillFakeVolume(content, copied);
  FillFakeVolume(VolumeContent(content), moved);
  for (FakeVolume* volume : {&copied, &moved}) {
    EXPECT_EQ(volume->JournalId(), 42u);
    EXPECT_EQ(volume->NextUsn(), 20);
    EXPECT_EQ(volume->EntryCount(), 2u);
  }
  EXPECT_EQ(EnumerationBytes(copied), EnumerationBytes(moved));
  const auto bytes = EnumerationBytes(moved);
  ASSERT_GT(bytes.size(), 16u);
  EXPECT_EQ(LoadLe64(bytes.data() + 8 + usn_record_v2::kFileReference), 0x3u);
}

TEST(VolumeImageUtf8Test, StrictConversionReportsTheFirstBadSequence) {
  struct Case {
    std::string utf8;
    size_t badOffset;  // SIZE_MAX when valid
  };
  const Case cases[] = {
      {"plain", SIZE_MAX},
      {"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", SIZE_MAX},
      {"ab\x80", 2},            // stray continuation byte
      {"a\xC3", 1},             // truncated
      {"a\xE4\xB8", 1},         // truncated
      {"\xC0\x80", 0},          // overlong NUL
      {"x\xE0\x80\xAF", 1},     // overlong
      {"\xED\xB0\x80", 0},      // encoded surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xFF", 0},
      {"ok\xC3(", 2},  // missing continuation
  };
  for (const Case& c : cases) {
    std::u16string out = u"keep";
    size_t offset = 1234;
    const bool ok = AppendUtf8AsUtf16(c.utf8, out, &offset);
    if (c.badOffset == SIZE_MAX) {
      EXPECT_TRUE(ok) << c.utf8;
      std::string back;
      EXPECT_TRUE(Utf16ToUtf8(out.substr(4), &back));
      EXPECT_EQ(back, c.utf8);
    } else {
      EXPECT_FALSE(ok) << c.utf8;
      EXPECT_EQ(out, u"keep");
      EXPECT_EQ(offset, c.badOffset) << c.utf8;
      EXPECT_EQ(ToUtf16(c.utf8).find(u'\uFFFD') != std::u16string::npos, true);
    }
  }
  std::string out;
  size_t index = 0;
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(u"ab") + char16_t(0xDC00), &out, &index));
  EXPECT_EQ(index, 2u);
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b", &out, &index));
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(ToUtf8(std::u16string(u"a") + char16_t(0xD800)), "a\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace qm
