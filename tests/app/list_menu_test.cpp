#include "app/list_menu.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/language.h"
#include "base/window_messages.h"
#include "config/config_dir.h"
#include "search/filter_view.h"
#include "support/action_fakes.h"
#include "support/config_fakes.h"
#include "support/indexed_drives.h"

namespace qm {
namespace {

using testing::CallLog;
using testing::kRootFrn;
using Paths = std::vector<std::u16string>;

TEST(ListMenuTest, ItemsInOrderGrayedWithoutARow) {
  struct Item {
    uint32_t command;
    std::u16string_view english, chinese;
    bool fileItem;
  };
  const Item items[] = {
      {10001, u"Open File/Folder", u"打开文件/目录", true},
      {10002, u"Open Containing Folder", u"打开文件所在位置", true},
      {0, u"", u"", false},
      {10003, u"Delete File", u"删除文件", true},
      {10013, u"Move to Recycle Bin\tDelete", u"删除到回收站\tDelete", true},
      {10004, u"Run as Administrator", u"以管理员身份运行", true},
      {10009, u"Copy", u"复制", true},
      {10010, u"Cut", u"剪切", true},
      {10005, u"Copy File Path", u"复制文件路径", true},
      {10006, u"Properties", u"属性", true},
      {0, u"", u"", false},
      {10011, u"Clear Recent Opens", u"清空最近打开记录", false},
      {10012, u"Set Show/Hide Hotkey", u"设置显示/隐藏快捷键", false},
      {10007, u"Open Filter Config Folder", u"打开筛选配置目录", false},
      {10008, u"Reset Filter Tags to Defaults", u"恢复默认筛选标签", false},
  };
  for (const bool rowHit : {true, false}) {
    const std::vector<MenuEntry> menu = ListMenuEntries(rowHit);
    ASSERT_EQ(menu.size(), std::size(items));
    for (size_t i = 0; i < menu.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "item " << i << " row hit " << rowHit);
      EXPECT_EQ(menu[i].command, items[i].command);
      EXPECT_EQ(menu[i].grayed, items[i].fileItem && !rowHit);
      EXPECT_FALSE(menu[i].checked);
      if (items[i].command == 0) continue;
      EXPECT_EQ(TextIn(menu[i].text, false), items[i].english);
      EXPECT_EQ(TextIn(menu[i].text, true), items[i].chinese);
    }
  }
}

TEST(ListMenuTest, CommandsToFileActions) {
  using enum FileAction;
  const std::pair<uint32_t, std::optional<FileAction>> cases[] = {
      {10001, kOpenItem},
      {10002, kOpenContainingFolder},
      {10003, kDeletePermanently},
      {10004, kRunAsAdministrator},
      {10005, kCopyPath},
      {10006, kShowProperties},
      {10007, {}},
      {10008, {}},
      {10009, kCopyToClipboard},
      {10010, kCutToClipboard},
      {10011, {}},
      {10012, {}},
      {10013, kMoveToRecycleBin},
      {10000, {}},
      {10014, {}},
      {0, {}},
      {20006, {}},
  };
  for (const auto& [command, action] : cases) {
    EXPECT_EQ(FileActionForCommand(command), action) << command;
  }
}

// C: \Docs\report.txt; the list shows it.
class ListMenuCommandTest : public testing::IndexedDrivesTest {
 protected:
  ListMenuCommandTest() : guard(false) {
    AddDrive(u"C:", {{0x10, kRootFrn, u"Docs", true}, {0x12, 0x10, u"report.txt"}});
    Ready();
    SearchAndWait(u"report");
    ResetFilteredView(1);
  }

  void Run(int32_t command, int64_t row = 0) {
    RunListMenuCommand(context, command, row, [this] { ++captures; });
  }
  static size_t RecentCount() {
    std::lock_guard lock(recentMutex);
    return recentOpens.size();
  }

  testing::LanguageAndTagsGuard guard;
  testing::TempFolder documents;
  testing::TestConfigSystem system{documents.program()};
  CallLog log;
  testing::RecordingShell shell{log};
  testing::RecordingClipboard clipboard{log};
  testing::RecordingMessageBoxes boxes{log};
  int ownerWindow = 0;
  std::u16string boxText = u"report";
  FileActionContext context{system,    boxes,        shell,
                            clipboard, &ownerWindow, [this] { return boxText; }};
  int captures = 0;
};

TEST_F(ListMenuCommandTest, EachCommandReachesItsTarget) {
  const uint64_t generation = searchGeneration.load();
  Run(0);
  Run(-1);
  EXPECT_EQ(log, CallLog{}) << "a dismissed menu does nothing";
  EXPECT_EQ(captures, 0);

  Run(kCommandSetHotkey);
  EXPECT_EQ(captures, 1);
  RunListMenuCommand(context, kCommandSetHotkey, 0, {});  // no capture yet: nothing
  EXPECT_EQ(log, CallLog{});

  Run(kCommandOpenConfigFolder, -1);  // needs no row
  ASSERT_EQ(log.size(), 1u);
  ASSERT_EQ(shell.executed.size(), 1u);
  const ShellExecuteInfo& open = shell.executed[0];
  EXPECT_EQ(open.verb, u"open");
  EXPECT_EQ(open.file, ConfigDir(system));
  EXPECT_EQ(open.parameters, u"");
  EXPECT_EQ(open.directory, u"");
  EXPECT_EQ(open.show, 1);

  Run(kCommandResetFilterTags, -1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, Text(TextId::kResetTagsQuestion));
  EXPECT_EQ(boxes.shown[0].owner, &ownerWindow);

  log.clear();
  Run(kCommandCopyPath);
  EXPECT_EQ(log, (CallLog{"Open", "Empty", "Put 13", "Close"}));
  Run(kCommandProperties);
  ASSERT_EQ(shell.executedEx.size(), 1u);
  EXPECT_EQ(shell.executedEx[0].verb, u"properties");
  EXPECT_EQ(searchGeneration.load(), generation);
}

TEST_F(ListMenuCommandTest, ClearRecentOpensRefreshesOnlyAnEmptyBox) {
  Run(kCommandOpen);
  ASSERT_EQ(RecentCount(), 1u);
  uint64_t generation = searchGeneration.load();
  Run(kCommandClearRecent, -1);
  EXPECT_EQ(RecentCount(), 0u);
  EXPECT_EQ(testing::FileBytes(RecentIniPath(system)), "\xEF\xBB\xBF");
  EXPECT_EQ(searchGeneration.load(), generation) << "the box holds a query";
  EXPECT_EQ(PathsOf(Current()), Paths{u"C:\\Docs\\report.txt"});

  boxText = u"";
  Run(kCommandOpen);  // the list now shows the recent opens
  ASSERT_EQ(PathsOf(Current()), Paths{u"C:\\Docs\\report.txt"});
  generation = searchGeneration.load();
  Run(kCommandClearRecent, -1);
  EXPECT_EQ(searchGeneration.load(), generation + 1);
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation + 1), 1u);
  ASSERT_TRUE(Current());
  EXPECT_TRUE(Current()->empty());
}

TEST_F(ListMenuCommandTest, RefreshEmptyQuery) {
  StartSearch(u"", false, true);  // nothing recent: an empty list
  AddRecentOpen(system, ItemOf(0, u"C:\\Docs\\report.txt"));
  uint64_t generation = searchGeneration.load();
  RefreshEmptyQuery(u" ");
  EXPECT_EQ(searchGeneration.load(), generation) << "blanks are a query being typed";
  EXPECT_TRUE(Current()->empty());
  RefreshEmptyQuery(u"");
  EXPECT_EQ(searchGeneration.load(), generation + 1);
  EXPECT_EQ(poster.Count(WM_SEARCH_DONE, generation + 1), 1u);
  EXPECT_EQ(PathsOf(Current()), Paths{u"C:\\Docs\\report.txt"});
}

}  // namespace
}  // namespace qm
