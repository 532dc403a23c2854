#include "config/filter_tags.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/texts.h"
#include "config/config_dir.h"
#include "config/text_file.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

using testing::FileBytes;
using testing::FileExists;
using testing::LanguageAndTagsGuard;
using testing::PutFileBytes;
using Exts = std::vector<std::u16string>;

constexpr std::string_view kEnglishDefaultsFile =
    "\xEF\xBB\xBF"
    "All Files=\r\n"
    "Documents=.doc,.docx,.pdf,.txt,.xls,.xlsx,.ppt,.pptx,.md,.csv\r\n"
    "Images=.jpg,.jpeg,.png,.gif,.bmp,.webp,.ico,.svg,.tif,.psd\r\n"
    "Archives=.zip,.rar,.7z,.tar,.gz,.iso,.cab\r\n"
    "Applications=.exe,.msi,.bat,.cmd,.dll,.sys,.ps1\r\n"
    "Videos=.mp4,.mkv,.avi,.mov,.wmv,.flv,.rmvb,.m3u8\r\n"
    "Audio=.mp3,.wav,.flac,.aac,.ogg,.m4a\r\n";

std::vector<std::u16string> Labels(const FilterTagList& tags) {
  std::vector<std::u16string> labels;
  for (const FilterTag& tag : tags) labels.push_back(tag.label);
  return labels;
}

TEST(ParseTagLine, AcceptedLines) {
  const struct {
    std::u16string line;
    std::u16string label;
    Exts extensions;
  } cases[] = {
      {u" \t Pictures = JPG, .Png ,,gif \r\n", u"Pictures", {u".jpg", u".png", u".gif"}},
      {u"Videos=MP4, .MKV", u"Videos", {u".mp4", u".mkv"}},
      {u"Label=", u"Label", {}},
      {u"Label= , ,", u"Label", {}},
      {u"所有文件   =", u"所有文件", {}},
      {u"a=b=c", u"a", {u".b=c"}},
      {u"Odd=.tar.GZ,Ärger,..x", u"Odd", {u".tar.gz", u".Ärger", u"..x"}},
      {u"in # side=.x", u"in # side", {u".x"}},
      {u"Tab\tlabel\t=\t.x\t", u"Tab\tlabel", {u".x"}},
      {u"dup=.a,.a", u"dup", {u".a", u".a"}},
  };
  for (const auto& c : cases) {
    std::optional<FilterTag> tag = ParseTagLine(c.line);
    ASSERT_TRUE(tag.has_value()) << ::testing::PrintToString(c.line);
    EXPECT_EQ(tag->label, c.label);
    EXPECT_EQ(tag->extensions, c.extensions);
  }
}

TEST(ParseTagLine, SkippedLines) {
  const std::u16string lines[] = {u"",          u"  \t\r\n", u"#Docs=.doc", u"  # x=.y",
                                  u"no equals", u"=.doc",    u"  =  .doc",  u"\n"};
  for (const std::u16string& line : lines) {
    EXPECT_FALSE(ParseTagLine(line).has_value()) << ::testing::PrintToString(line);
  }
}

TEST(FilterTagDefaults, BothLanguagesHoldTheSameExtensions) {
  const FilterTagList english = DefaultTags(false);
  EXPECT_EQ(defaultTagsChinese, DefaultTags(true));
  EXPECT_EQ(Labels(english),
            (std::vector<std::u16string>{u"All Files", u"Documents", u"Images", u"Archives",
                                         u"Applications", u"Videos", u"Audio"}));
  EXPECT_EQ(Labels(defaultTagsChinese),
            (std::vector<std::u16string>{u"所有文件", u"文档", u"图片", u"压缩包", u"应用程序",
                                         u"视频", u"音频"}));
  ASSERT_EQ(english.size(), defaultTagsChinese.size());
  for (size_t i = 0; i < english.size(); ++i) {
    EXPECT_EQ(english[i].extensions, defaultTagsChinese[i].extensions);
  }
  EXPECT_EQ(FilterTagStore().Snapshot()->front().label, u"所有文件");
}

TEST(FilterTagDefaults, EnglishFileTextByteForByte) {
  EXPECT_EQ(EncodeTextFile(FormatTagFile(DefaultTags(false))), kEnglishDefaultsFile);
  // And what is written parses back to the same tags.
  testing::MemoryConfigSystem memory;
  memory.files[u"f"] = std::string(kEnglishDefaultsFile);
  FilterTagList read;
  ASSERT_TRUE(ReadTagFile(memory, u"f", &read));
  EXPECT_EQ(read, DefaultTags(false));
}

TEST(FilterTagPositions, BeyondTheEndIsPositionZero) {
  const FilterTagList tags = DefaultTags(false);
  EXPECT_EQ(EffectiveTagIndex(3, 7), 3u);
  EXPECT_EQ(EffectiveTagIndex(7, 7), 0u);
  EXPECT_EQ(EffectiveTagIndex(size_t(-1), 7), 0u);
  EXPECT_EQ(TagAt(tags, 6)->label, u"Audio");
  EXPECT_EQ(TagAt(tags, 7)->label, u"All Files");
  EXPECT_EQ(TagAt(tags, 1000)->label, u"All Files");
  EXPECT_EQ(TagAt(FilterTagList{}, 0), nullptr);
}

TEST(FilterTagStore, ASnapshotOutlivesAReplacement) {
  FilterTagStore store;
  FilterTagsSnapshot before = store.Snapshot();
  const FilterTag* first = &before->front();
  store.Replace({{u"Only", {u".x"}}});
  EXPECT_EQ(first->label, u"所有文件");  // still readable: the old list lives on
  EXPECT_EQ(before->size(), 7u);
  EXPECT_EQ(Labels(*store.Snapshot()), std::vector<std::u16string>{u"Only"});
}

TEST(FilterTagStore, WorkersReadWhileTheMainThreadReplaces) {
  FilterTagStore store;
  store.Replace({{u"start", {u".e"}}});
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&] {
      while (!stop.load()) {
        FilterTagsSnapshot tags = store.Snapshot();
        // Every list the main thread publishes has one label repeated throughout.
        for (const FilterTag& tag : *tags) {
          if (tag.label != tags->front().label || tag.extensions.size() != tags->size()) ++torn;
        }
      }
    });
  }
  for (int round = 0; round < 2000; ++round) {
    const size_t n = 1 + round % 9;
    std::u16string label = u"tag" + std::u16string(size_t(round % 50), u'x');
    store.Replace(FilterTagList(n, FilterTag{label, Exts(n, u".e")}));
  }
  stop = true;
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(torn.load(), 0);
}

class FilterTagFiles : public ::testing::Test {
 protected:
  testing::TempFolder documents;
  testing::TestConfigSystem system{documents.program()};
  std::u16string ini = FiltersIniPath(system);
  std::u16string bak = FiltersBakPath(system);
};

TEST_F(FilterTagFiles, ReadingALongLineGivesTwoLines) {
  // 1500 units: the first 1023 are one line, the remaining 477 another.
  const std::u16string line =
      u"A=" + std::u16string(1021, u'a') + u"B=" + std::u16string(475, u'b');
  ASSERT_EQ(line.size(), 1500u);
  ASSERT_TRUE(WriteTextFile(system, ini, line + u"\n"));
  FilterTagList tags;
  ASSERT_TRUE(ReadTagFile(system, ini, &tags));
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].label, u"A");
  EXPECT_EQ(tags[0].extensions, Exts{u"." + std::u16string(1021, u'a')});
  EXPECT_EQ(tags[1].label, u"B");
  EXPECT_EQ(tags[1].extensions, Exts{u"." + std::u16string(475, u'b')});
}

TEST_F(FilterTagFiles, ReadFailureLeavesTheListUntouched) {
  FilterTagList tags = {{u"keep", {}}};
  EXPECT_FALSE(ReadTagFile(system, ini, &tags));  // missing
  PutFileBytes(ini, "\xEF\xBB\xBF# only a comment\r\n\r\nno equals\r\n=.x\r\n");
  EXPECT_FALSE(ReadTagFile(system, ini, &tags));
  EXPECT_EQ(Labels(tags), std::vector<std::u16string>{u"keep"});
}

TEST_F(FilterTagFiles, HandEditedFileWithoutMarkAndWithLfReads) {
  PutFileBytes(ini, "# mine\nDocs = DOC, pdf \n\nPics=.JPG\nAll=\n");
  FilterTagList tags;
  ASSERT_TRUE(ReadTagFile(system, ini, &tags));
  EXPECT_EQ(tags,
            (FilterTagList{{u"Docs", {u".doc", u".pdf"}}, {u"Pics", {u".jpg"}}, {u"All", {}}}));
}

TEST_F(FilterTagFiles, FirstStartWritesDefaultsWithoutBackupAndSecondStartMakesOne) {
  LanguageAndTagsGuard language(false);
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_EQ(FileBytes(ini), kEnglishDefaultsFile);
  EXPECT_FALSE(FileExists(bak));

  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_EQ(FileBytes(bak), kEnglishDefaultsFile);
}

TEST_F(FilterTagFiles, FirstStartInChineseWritesTheChineseDefaults) {
  LanguageAndTagsGuard language(true);
  filterTags.Replace({});
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), defaultTagsChinese);
  const std::optional<std::string> bytes = FileBytes(ini);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_TRUE(
      bytes->starts_with("\xEF\xBB\xBF\xE6\x89\x80\xE6\x9C\x89\xE6\x96\x87\xE4\xBB\xB6=\r\n"
                         "\xE6\x96\x87\xE6\xA1\xA3=.doc,"));
}

TEST_F(FilterTagFiles, EnglishUiReplacesTheChineseDefaultsEvenWhenEdited) {
  LanguageAndTagsGuard language(false);
  // The first label, with blanks before "=", is still the Chinese defaults' first label.
  PutFileBytes(ini,
               "\xEF\xBB\xBF\xE6\x89\x80\xE6\x9C\x89\xE6\x96\x87\xE4\xBB\xB6   =\r\nMine=.x\r\n");
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_EQ(FileBytes(ini), kEnglishDefaultsFile);
  EXPECT_EQ(FileBytes(bak), kEnglishDefaultsFile);  // the copy follows the rewrite
}

TEST_F(FilterTagFiles, ChineseUiKeepsEnglishLabelsAndEnglishUiKeepsOtherFiles) {
  {
    LanguageAndTagsGuard language(true);
    PutFileBytes(ini, kEnglishDefaultsFile);
    LoadFilterTags(system);
    EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  }
  {
    LanguageAndTagsGuard language(false);
    PutFileBytes(ini, "Docs=.doc\r\n\xE6\x89\x80\xE6\x9C\x89\xE6\x96\x87\xE4\xBB\xB6=\r\n");
    LoadFilterTags(system);
    EXPECT_EQ(Labels(*filterTags.Snapshot()), (std::vector<std::u16string>{u"Docs", u"所有文件"}));
    EXPECT_EQ(FileBytes(ini), "Docs=.doc\r\n\xE6\x89\x80\xE6\x9C\x89\xE6\x96\x87\xE4\xBB\xB6=\r\n");
    EXPECT_EQ(FileBytes(bak), FileBytes(ini));
  }
}

TEST_F(FilterTagFiles, BackupRestoresAnEmptiedFiltersIni) {
  LanguageAndTagsGuard language(false);
  const std::string backup = "\xEF\xBB\xBFMine=.abc\r\nAll=\r\n";
  PutFileBytes(bak, backup);
  PutFileBytes(ini, "\xEF\xBB\xBF# every valid line deleted\r\n");
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), (FilterTagList{{u"Mine", {u".abc"}}, {u"All", {}}}));
  EXPECT_EQ(FileBytes(ini), backup);  // rewritten from the backup
  EXPECT_EQ(FileBytes(bak), backup);  // the backup itself is not touched
  EXPECT_EQ(system.copies, 0);
}

TEST_F(FilterTagFiles, BackupIsNotCheckedForChineseDefaults) {
  LanguageAndTagsGuard language(false);
  PutFileBytes(bak, "\xE6\x89\x80\xE6\x9C\x89\xE6\x96\x87\xE4\xBB\xB6=\r\n");
  LoadFilterTags(system);
  EXPECT_EQ(Labels(*filterTags.Snapshot()), std::vector<std::u16string>{u"所有文件"});
}

TEST_F(FilterTagFiles, NothingReadableGivesDefaults) {
  LanguageAndTagsGuard language(false);
  PutFileBytes(ini, "garbage\r\n");
  PutFileBytes(bak, std::string("\xFE\xFF\0A\0=", 6));  // big-endian: unreadable
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_EQ(FileBytes(ini), kEnglishDefaultsFile);
}

TEST_F(FilterTagFiles, UnreadableFiltersIniIsKeptBeforeItIsRewritten) {
  LanguageAndTagsGuard language(false);
  const std::u16string kept = ini + u".unreadable";
  const std::string bigEndian("\xFE\xFF\0M\0=\0.\0x", 10);
  const struct {
    std::string bytes;
    std::optional<std::string> backup;
    bool unreadable;
  } cases[] = {
      {bigEndian, std::nullopt, true},
      {bigEndian, "Mine=.x\r\n", true},  // restored from the backup, and still kept
      {"\xEF\xBB\xBF# a comment\r\nno equals sign\r\n=.x\r\n", std::nullopt, true},
      {"", std::nullopt, false},
      {"\xEF\xBB\xBF \r\n\r\n", std::nullopt, false},
      {"\xEF\xBB\xBFMine=.x\r\n", std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    testing::PutFileBytes(kept, "an older unreadable file");
    testing::PutFileBytes(ini, c.bytes);
    system.RemoveFile(bak);
    if (c.backup) testing::PutFileBytes(bak, *c.backup);
    LoadFilterTags(system);
    EXPECT_EQ(FileBytes(kept), c.unreadable ? c.bytes : "an older unreadable file");
    // filters.ini holds what is in use either way.
    EXPECT_EQ(FileBytes(ini), EncodeTextFile(FormatTagFile(*filterTags.Snapshot())));
  }
}

TEST_F(FilterTagFiles, BackupCopyThatFailsHalfWayLeavesTheOldBackupWhole) {
  LanguageAndTagsGuard language(false);
  const std::string previous = "\xEF\xBB\xBFOld=.one,.two,.three\r\nAll=\r\n";
  PutFileBytes(ini, kEnglishDefaultsFile);
  PutFileBytes(bak, previous);
  system.failWriteAfter = 40;  // the disk fills in the middle of the second line
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_EQ(system.copies, 1);
  ASSERT_EQ(system.writtenPaths.size(), 1u);
  EXPECT_NE(system.writtenPaths[0], bak);  // the copy went to a file beside it
  EXPECT_EQ(FileBytes(bak), previous);
  EXPECT_FALSE(FileExists(system.writtenPaths[0]));

  system.failWriteAfter.reset();
  LoadFilterTags(system);
  EXPECT_EQ(FileBytes(bak), kEnglishDefaultsFile);
  EXPECT_FALSE(FileExists(system.writtenPaths.back()));
}

TEST_F(FilterTagFiles, FailedSaveKeepsTheTagsInMemory) {
  LanguageAndTagsGuard language(false);
  system.failWriteAfter = 0;
  LoadFilterTags(system);
  EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(false));
  EXPECT_FALSE(FileExists(ini));
}

TEST_F(FilterTagFiles, ResetAnsweredNoChangesNothing) {
  LanguageAndTagsGuard language(false);
  filterTags.Replace({{u"Mine", {u".x"}}});
  PutFileBytes(ini, "Mine=.x\r\n");
  testing::ScriptedMessageBoxes boxes;
  boxes.yesNoAnswer = MessageAnswer::kNo;
  ResetFilterTags(system, boxes, nullptr);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(Labels(*filterTags.Snapshot()), std::vector<std::u16string>{u"Mine"});
  EXPECT_EQ(FileBytes(ini), "Mine=.x\r\n");

  boxes.yesNoAnswer = MessageAnswer::kOther;  // box could not be shown
  ResetFilterTags(system, boxes, nullptr);
  EXPECT_EQ(FileBytes(ini), "Mine=.x\r\n");
}

TEST_F(FilterTagFiles, ResetAnsweredYesRestoresTheDefaultsOfTheLanguage) {
  for (bool chinese : {false, true}) {
    LanguageAndTagsGuard language(chinese);
    filterTags.Replace({{u"Mine", {u".x"}}});
    PutFileBytes(bak, "Mine=.x\r\n");
    testing::ScriptedMessageBoxes boxes;
    boxes.yesNoAnswer = MessageAnswer::kYes;
    int window = 0;
    ResetFilterTags(system, boxes, &window);

    EXPECT_EQ(*filterTags.Snapshot(), DefaultTags(chinese));
    EXPECT_EQ(FileBytes(ini), EncodeTextFile(FormatTagFile(DefaultTags(chinese))));
    EXPECT_EQ(FileBytes(bak), "Mine=.x\r\n");
    ASSERT_EQ(boxes.shown.size(), 2u);
    const testing::ShownBox& ask = boxes.shown[0];
    const testing::ShownBox& done = boxes.shown[1];
    EXPECT_EQ(ask.owner, &window);
    EXPECT_EQ(ask.buttons, MessageButtons::kYesNo);
    EXPECT_EQ(ask.icon, MessageIcon::kQuestion);
    EXPECT_EQ(done.owner, &window);
    EXPECT_EQ(done.buttons, MessageButtons::kOk);
    EXPECT_EQ(done.icon, MessageIcon::kNone);
    if (chinese) {
      EXPECT_EQ(ask.caption, u"确认重置");
      EXPECT_EQ(
          ask.text,
          u"确定要恢复默认筛选标签吗？\n\n(提示：恢复或修改配置后，请重启软件以重新生成按钮)");
      EXPECT_EQ(done.caption, u"完成");
      EXPECT_EQ(done.text, u"配置已重置，请关闭并重新打开软件。");
    } else {
      EXPECT_EQ(ask.caption, u"Confirm Reset");
      EXPECT_EQ(ask.text,
                u"Reset filter tags to defaults?\n\n(Restart software to apply UI changes)");
      EXPECT_EQ(done.caption, u"Completed");
      EXPECT_EQ(done.text, u"Reset complete. Please restart.");
    }
  }
}

}  // namespace
}  // namespace qm
