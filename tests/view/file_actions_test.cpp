#include "view/file_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/language.h"
#include "base/window_messages.h"
#include "config/config_dir.h"
#include "platform/drive_roots.h"
#include "search/filter_view.h"
#include "support/action_fakes.h"
#include "support/config_fakes.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::CallLog;
using testing::kRootFrn;
using Bytes = std::vector<uint8_t>;
using Paths = std::vector<std::u16string>;

Bytes Utf16Le(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(uint8_t(unit & 0xFF));
    bytes.push_back(uint8_t(unit >> 8));
  }
  return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kDropFilesHeader = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

TEST(FileActionBlocksTest, ClipboardBlocksByteForByte) {
  // One path written out by hand: a CJK unit and a surrogate pair, little-endian.
  EXPECT_EQ(DropFilesBlock(u"\u97F3\U0001D11E"),
            Concat(kDropFilesHeader, {0xF3, 0x97, 0x34, 0xD8, 0x1E, 0xDD, 0, 0, 0, 0}));
  EXPECT_EQ(UnicodeTextBlock(u"\u97F3\U0001D11E"),
            (Bytes{0xF3, 0x97, 0x34, 0xD8, 0x1E, 0xDD, 0, 0}));

  const std::u16string paths[] = {u"C:\\a.txt", u"", u"D:\\Music\\" + std::u16string(300, u'x'),
                                  u"C:\\with space\\\"quoted\".txt"};
  for (const std::u16string& path : paths) {
    const Bytes drop = DropFilesBlock(path);
    EXPECT_EQ(drop.size(), path.size() * 2 + 24);
    EXPECT_EQ(drop, Concat(Concat(kDropFilesHeader, Utf16Le(path)), {0, 0, 0, 0}));
    EXPECT_EQ(UnicodeTextBlock(path), Concat(Utf16Le(path), {0, 0}));
  }
  EXPECT_EQ(DropEffectBlock(false), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(DropEffectBlock(true), (Bytes{2, 0, 0, 0}));
}

TEST(FileActionBlocksTest, ShellStructures) {
  const std::u16string path = u"C:\\Data\\report.txt";
  struct Case {
    FileAction action;
    uint32_t mask;
    std::u16string_view verb;
  };
  const Case cases[] = {{FileAction::kOpenItem, 0x400, u"open"},
                        {FileAction::kRunAsAdministrator, 0x400, u"runas"},
                        {FileAction::kShowProperties, 0x40C, u"properties"}};
  for (const Case& c : cases) {
    ShellExecuteInfo expected;
    expected.size = 112;
    expected.mask = c.mask;
    expected.verb = c.verb;
    expected.file = path;
    expected.show = 1;
    EXPECT_EQ(ShellExecuteFor(c.action, path), expected) << ToUtf8(c.verb);
  }

  const ShellExecuteInfo reveal = RevealInExplorer(u"C:\\Windows", path);
  EXPECT_EQ(reveal.owner, nullptr);
  EXPECT_EQ(reveal.verb, u"open");
  EXPECT_EQ(reveal.file, u"C:\\Windows\\explorer.exe");
  EXPECT_EQ(reveal.parameters, u"/select,\"C:\\Data\\report.txt\"");
  EXPECT_EQ(reveal.directory, u"");
  EXPECT_EQ(reveal.show, 1);

  int owner = 0;
  const FileOperation recycle = RecycleOperation(&owner, path);
  EXPECT_EQ(recycle, (FileOperation{&owner, 3, path + u'\0' + u'\0', 0x454}));
  EXPECT_EQ(recycle.from.size(), path.size() + 2) << "a list of one name and its double NUL";
}

// C: (mapped to a folder) \Docs\report.txt and \Docs\notes.md; D: a drive without files.
// The list shows every name with a t.
class FileActionsTest : public testing::IndexedDrivesTest {
 protected:
  FileActionsTest() : savedChinese(chineseUi.load()) {
    chineseUi.store(false);
    SetDriveRoot(u"C:", files.path());
    SetDriveWithoutFiles(u"D:");
    AddDrive(
        u"C:",
        {{0x10, kRootFrn, u"Docs", true}, {0x12, 0x10, u"report.txt"}, {0x13, 0x10, u"notes.md"}});
    AddDrive(u"D:", {{0x20, kRootFrn, u"image.txt"}});
    Ready();
    Show(u"t");
  }
  ~FileActionsTest() override {
    EXPECT_TRUE(testing::WaitForWorkers());
    SetDriveRoot(u"C:", {});
    SetDriveRoot(u"D:", {});
    chineseUi.store(savedChinese);
  }

  // A search whose list the window has accepted: the display list is rebuilt from it.
  void Show(std::u16string query) {
    SearchAndWait(std::move(query));
    const ResultList list = Current();
    ResetFilteredView(list ? list->size() : 0);
  }
  int64_t RowOf(std::u16string_view path) {
    const Paths shown = PathsOf(GetDisplayList());
    for (size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == path) return int64_t(i);
    }
    ADD_FAILURE() << "not in the list: " << ToUtf8(path);
    return -1;
  }
  void Run(FileAction action, std::u16string_view path) {
    RunFileAction(context, int32_t(action), RowOf(path));
  }
  static std::u16string Native(std::u16string_view path) {
    return NativeFilePath(path).u16string();
  }
  static Paths RecentPaths() {
    std::lock_guard guard(recentMutex);
    Paths paths;
    for (const RecentEntry& entry : recentOpens) paths.push_back(entry.path);
    return paths;
  }
  std::string IniBytes() { return testing::FileBytes(RecentIniPath(system)).value_or("<missing>"); }

  testing::TempFolder documents;
  testing::TempFolder files;
  testing::TestConfigSystem system{documents.program()};
  CallLog log;
  testing::RecordingShell shell{log};
  testing::RecordingClipboard clipboard{log};
  testing::RecordingMessageBoxes boxes{log};
  int ownerWindow = 0;
  std::u16string boxText = u"t";
  FileActionContext context{system,    boxes,        shell,
                            clipboard, &ownerWindow, [this] { return boxText; }};
  bool savedChinese;
};

const std::u16string kReport = u"C:\\Docs\\report.txt";
const std::u16string kNotes = u"C:\\Docs\\notes.md";
const std::u16string kImage = u"D:\\image.txt";

TEST_F(FileActionsTest, NothingHappensWithoutAnEntryThatNamesAFile) {
  const int64_t size = int64_t(GetDisplayList()->size());
  ASSERT_EQ(size, 3);
  const int64_t image = RowOf(kImage);
  Show(u"report");  // the list shrinks under the selection
  ASSERT_EQ(GetDisplayList()->size(), 1u);
  struct Case {
    int32_t code;
    int64_t row;
  };
  std::vector<Case> cases = {{1, 5}, {1, INT64_MAX}, {9, 0}, {-1, 0}, {100, 0}};
  for (int32_t code = 0; code <= 8; ++code) {
    cases.push_back({code, -1});
    cases.push_back({code, 1});  // beyond the shrunken list
  }
  const uint64_t generation = searchGeneration.load();
  boxes.yesNoAnswer = MessageAnswer::kYes;
  for (const Case& c : cases) RunFileAction(context, c.code, c.row);

  // A drive without files: every action on its entry does nothing at all.
  Show(u"t");
  const uint64_t shownGeneration = searchGeneration.load();
  ASSERT_EQ(RowOf(kImage), image);
  for (int32_t code = 0; code <= 8; ++code) RunFileAction(context, code, image);
  EXPECT_EQ(log, CallLog{});
  EXPECT_EQ(searchGeneration.load(), shownGeneration) << "no search started";
  EXPECT_EQ(shownGeneration, generation + 1);
  EXPECT_TRUE(RecentPaths().empty());
  EXPECT_TRUE(system.writtenPaths.empty());
}

TEST_F(FileActionsTest, OpensAreRecordedEvenWhenTheShellFails) {
  shell.executeExSucceeds = false;
  struct Case {
    FileAction action;
    std::u16string path;
    Paths recent;  // afterwards
  };
  const Case cases[] = {
      {FileAction::kOpenItem, kReport, {kReport}},
      {FileAction::kShowProperties, kNotes, {kReport}},  // properties are not recorded
      {FileAction::kRunAsAdministrator, kNotes, {kNotes, kReport}},
      {FileAction::kOpenItem, kReport, {kReport, kNotes}},
  };
  for (const Case& c : cases) {
    const size_t before = shell.executedEx.size();
    Run(c.action, c.path);
    ASSERT_EQ(shell.executedEx.size(), before + 1);
    EXPECT_EQ(shell.executedEx.back(), ShellExecuteFor(c.action, Native(c.path)));
    EXPECT_EQ(RecentPaths(), c.recent);
    EXPECT_NE(IniBytes().find(ToUtf8(c.recent.front())), std::string::npos);
  }
  const std::string ini = IniBytes();
  EXPECT_LT(ini.find(ToUtf8(kReport)), ini.find(ToUtf8(kNotes))) << "the latest open first";
  EXPECT_TRUE(shell.executed.empty());
  EXPECT_TRUE(boxes.shown.empty()) << "a failed open shows nothing";
}

TEST_F(FileActionsTest, WithAnEmptySearchBoxAnOpenShowsTheRecentListAtOnce) {
  boxText = u"";
  const uint64_t generation = searchGeneration.load();
  Run(FileAction::kOpenItem, kNotes);
  EXPECT_EQ(searchGeneration.load(), generation + 1);
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation + 1), 1u);
  EXPECT_EQ(PathsOf(Current()), Paths{kNotes});
}

TEST_F(FileActionsTest, OpenContainingFolderStartsExplorerByItsFullPathAndRecordsTheFolder) {
  boxText = u"";
  Run(FileAction::kOpenContainingFolder, kReport);
  ASSERT_EQ(shell.executed.size(), 1u);
  EXPECT_EQ(shell.executed[0], RevealInExplorer(u"C:\\Windows", Native(kReport)));
  EXPECT_EQ(shell.executed[0].file, u"C:\\Windows\\explorer.exe");
  EXPECT_EQ(RecentPaths(), Paths{u"C:\\Docs"}) << "the folder, not the file";
  EXPECT_EQ(PathsOf(Current()), Paths{u"C:\\Docs"});

  // Without the Windows folder nothing is started by a bare name, and nothing is recorded.
  Show(u"t");
  shell.windowsDirectory.clear();
  const uint64_t generation = searchGeneration.load();
  Run(FileAction::kOpenContainingFolder, kNotes);
  EXPECT_EQ(shell.executed.size(), 1u);
  EXPECT_EQ(RecentPaths(), Paths{u"C:\\Docs"});
  EXPECT_EQ(searchGeneration.load(), generation);
}

TEST_F(FileActionsTest, PermanentDelete) {
  struct Case {
    bool chinese;
    MessageAnswer answer;
    Win32Error error;
    std::u16string_view question, confirmCaption, failure, errorCaption;
  };
  const Case cases[] = {
      {false, MessageAnswer::kNo, kErrorSuccess, u"Are you sure you want to delete this file?\n\n",
       u"Confirm Delete", u"", u""},
      {false, MessageAnswer::kOther, kErrorSuccess,
       u"Are you sure you want to delete this file?\n\n", u"Confirm Delete", u"", u""},
      {false, MessageAnswer::kYes, kErrorAccessDenied,
       u"Are you sure you want to delete this file?\n\n", u"Confirm Delete",
       u"Delete failed!\nFile might be in use or access denied.\nError: 5", u"Error"},
      {false, MessageAnswer::kYes, 0xFFFFFFFFu, u"Are you sure you want to delete this file?\n\n",
       u"Confirm Delete",
       u"Delete failed!\nFile might be in use or access denied.\nError: 4294967295", u"Error"},
      {true, MessageAnswer::kYes, 32, u"确定要永久删除此文件吗？\n\n", u"确认删除",
       u"删除失败！\n文件可能正在被使用，或权限不足。\n错误代码: 32", u"错误"},
  };
  for (const Case& c : cases) {
    chineseUi.store(c.chinese);
    boxes.shown.clear();
    shell.deleted.clear();
    boxes.yesNoAnswer = c.answer;
    shell.deleteError = c.error;
    const uint64_t generation = searchGeneration.load();
    Run(FileAction::kDeletePermanently, kReport);
    ASSERT_FALSE(boxes.shown.empty());
    const testing::ShownMessage& ask = boxes.shown[0];
    EXPECT_EQ(ask.text, std::u16string(c.question) + Native(kReport));
    EXPECT_EQ(ask.caption, c.confirmCaption);
    EXPECT_EQ(ask.buttons, MessageButtons::kYesNo);
    EXPECT_EQ(ask.icon, MessageIcon::kWarning);
    EXPECT_EQ(ask.owner, &ownerWindow);
    if (c.answer != MessageAnswer::kYes) {
      EXPECT_TRUE(shell.deleted.empty());
      EXPECT_EQ(boxes.shown.size(), 1u);
    } else {
      EXPECT_EQ(shell.deleted, Paths{Native(kReport)});
      ASSERT_EQ(boxes.shown.size(), 2u);
      EXPECT_EQ(boxes.shown[1].text, c.failure);
      EXPECT_EQ(boxes.shown[1].caption, c.errorCaption);
      EXPECT_EQ(boxes.shown[1].buttons, MessageButtons::kOk);
      EXPECT_EQ(boxes.shown[1].icon, MessageIcon::kError);
      EXPECT_EQ(boxes.shown[1].owner, &ownerWindow);
    }
    EXPECT_EQ(searchGeneration.load(), generation) << "the list is not refreshed";
  }
  EXPECT_TRUE(RecentPaths().empty());
}

TEST_F(FileActionsTest, SuccessfulDeleteOrRecycleSearchesTheBoxTextAgainKeepingTheSort) {
  // The fake shell changes no file and no journal reports anything: the entry leaves the list
  // because the action itself marks it deleted.
  struct Step {
    FileAction action;
    std::u16string path;
    Paths after;
  };
  const Step steps[] = {{FileAction::kDeletePermanently, kReport, {kNotes, kImage}},
                        {FileAction::kMoveToRecycleBin, kNotes, {kImage}}};
  for (const Step& step : steps) {
    Show(u"t");
    boxes.yesNoAnswer = MessageAnswer::kYes;
    sortColumn.store(2);
    const uint64_t generation = searchGeneration.load();
    Run(step.action, step.path);
    EXPECT_EQ(searchGeneration.load(), generation + 1);
    ASSERT_TRUE(poster.WaitFor(WM_SEARCH_DONE, generation + 1));
    EXPECT_EQ(PathsOf(Current()), step.after) << "the search box's text, without the entry";
    EXPECT_EQ(sortColumn.load(), 2) << "the sort is kept";
    EXPECT_TRUE(RecentPaths().empty()) << "a delete is not an open";
  }
  ASSERT_EQ(shell.operations.size(), 1u);
  EXPECT_EQ(shell.operations[0], RecycleOperation(&ownerWindow, Native(kNotes)));
  EXPECT_EQ(boxes.shown.size(), 1u) << "only the permanent delete asks";
}

TEST_F(FileActionsTest, FailedRecycle) {
  const FileOperationResult failures[] = {{0, true}, {2, false}, {0x78, true}};
  for (const FileOperationResult& failure : failures) {
    shell.operationResult = failure;
    boxes.shown.clear();
    const uint64_t generation = searchGeneration.load();
    Run(FileAction::kMoveToRecycleBin, kNotes);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, u"Failed to move to Recycle Bin.");
    EXPECT_EQ(boxes.shown[0].caption, u"Error");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kError);
    EXPECT_EQ(searchGeneration.load(), generation);
  }
  chineseUi.store(true);
  boxes.shown.clear();
  Run(FileAction::kMoveToRecycleBin, kNotes);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, u"删除到回收站失败。");
  EXPECT_EQ(boxes.shown[0].caption, u"错误");
}

TEST_F(FileActionsTest, ClipboardCallsAndFailures) {
  const std::string putText = "Put " + std::to_string(kClipboardUnicodeText);
  const std::string putFiles = "Put " + std::to_string(kClipboardFileList);
  const std::string putEffect =
      "Put " + std::to_string(testing::RecordingClipboard::kDropEffectFormat);
  const std::string registered = "RegisterFormat Preferred DropEffect";
  struct Case {
    FileAction action;
    bool failOpen;
    std::optional<uint32_t> failPut;
    CallLog calls;
  };
  const Case cases[] = {
      {FileAction::kCopyPath, false, {}, {"Open", "Empty", putText, "Close"}},
      {FileAction::kCopyPath, true, {}, {"Open"}},
      {FileAction::kCopyPath, false, kClipboardUnicodeText, {"Open", "Empty", putText, "Close"}},
      {FileAction::kCopyToClipboard,
       false,
       {},
       {"Open", "Empty", putFiles, registered, putEffect, "Close"}},
      {FileAction::kCutToClipboard,
       false,
       {},
       {"Open", "Empty", putFiles, registered, putEffect, "Close"}},
      {FileAction::kCopyToClipboard, true, {}, {"Open", "Box"}},
      {FileAction::kCutToClipboard,
       false,
       kClipboardFileList,
       {"Open", "Empty", putFiles, "Close", "Box"}},
      {FileAction::kCutToClipboard,
       false,
       testing::RecordingClipboard::kDropEffectFormat,
       {"Open", "Empty", putFiles, registered, putEffect, "Close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.action));
    log.clear();
    clipboard.put.clear();
    clipboard.owners.clear();
    boxes.shown.clear();
    clipboard.failOpen = c.failOpen;
    clipboard.failPutFormat = c.failPut;
    Run(c.action, kReport);
    EXPECT_EQ(log, c.calls);
    EXPECT_EQ(clipboard.owners, std::vector<WindowHandle>{&ownerWindow});
    if (!boxes.shown.empty()) {
      EXPECT_EQ(boxes.shown[0].text, u"Failed to copy to clipboard.");
      EXPECT_EQ(boxes.shown[0].caption, u"Error");
      EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kError);
      EXPECT_EQ(boxes.shown[0].owner, &ownerWindow);
    }
    if (c.failOpen) continue;
    const Bytes first = c.action == FileAction::kCopyPath ? UnicodeTextBlock(Native(kReport))
                                                          : DropFilesBlock(Native(kReport));
    EXPECT_EQ(clipboard.put[0].bytes, first);
    if (clipboard.put.size() > 1) {
      EXPECT_EQ(clipboard.put[1].bytes, DropEffectBlock(c.action == FileAction::kCutToClipboard));
    }
  }
  EXPECT_TRUE(RecentPaths().empty());

  chineseUi.store(true);
  boxes.shown.clear();
  clipboard.failOpen = true;
  Run(FileAction::kCutToClipboard, kReport);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, u"复制到剪贴板失败。");
  EXPECT_EQ(boxes.shown[0].caption, u"错误");
}

}  // namespace
}  // namespace qm
