// The tray icon's add / modify / retry states against a scripted shell, its tooltip, the
// tray menu and the homepage in both languages.
#include "shell/tray_icon.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "support/config_fakes.h"

namespace qm {
namespace {

using Calls = std::vector<std::string>;

const WindowHandle kWindow = reinterpret_cast<WindowHandle>(uintptr_t{0x7001});

// The shell's notification area: NIM_ADD answers from `addAnswers` (then true), every call is
// logged and every record sent is kept.
class ScriptedArea : public NotificationArea {
 public:
  bool Add(const TrayIconRecord& record) override {
    Log("add", record);
    const bool answer = addAnswers.empty() || addAnswers.front();
    if (!addAnswers.empty()) addAnswers.pop_front();
    return answer;
  }
  bool Modify(const TrayIconRecord& record) override {
    Log("modify", record);
    return true;
  }
  void Delete(const TrayIconRecord& record) override { Log("delete", record); }
  void* LoadTrayIcon() override {
    calls.push_back("load");
    return reinterpret_cast<void*>(++icons);
  }
  void SetRetryTimer(WindowHandle window) override {
    calls.push_back(window == kWindow ? "set timer" : "set timer elsewhere");
  }
  void KillRetryTimer(WindowHandle window) override {
    calls.push_back(window == kWindow ? "kill timer" : "kill timer elsewhere");
  }

  void Log(const char* call, const TrayIconRecord& record) {
    calls.push_back(call);
    sent.push_back(record);
  }
  std::deque<bool> addAnswers;
  Calls calls;
  std::vector<TrayIconRecord> sent;
  uintptr_t icons = 0x100;
};

TEST(TrayIcon, AddIsRetriedUntilTheShellAcceptsIt) {
  testing::LanguageAndTagsGuard english(false);
  ScriptedArea area;
  area.addAnswers = {false, false, true};
  TrayIcon tray;
  // At window creation (no reload), then twice from the timer.
  EXPECT_FALSE(AddOrUpdateTrayIcon(tray, area, kWindow, false, u"Alt+Z"));
  EXPECT_EQ(area.calls, (Calls{"add", "set timer"}));
  EXPECT_EQ(area.sent[0].icon, nullptr);
  EXPECT_FALSE(AddOrUpdateTrayIcon(tray, area, kWindow, true, u"Alt+Z"));
  EXPECT_TRUE(AddOrUpdateTrayIcon(tray, area, kWindow, true, u"Alt+Z"));
  EXPECT_TRUE(tray.added);
  EXPECT_EQ(area.calls, (Calls{"add", "set timer", "load", "add", "set timer", "load", "add",
                               "modify", "kill timer"}));
  for (const TrayIconRecord& record : area.sent) {
    EXPECT_EQ(record.window, kWindow);
    EXPECT_EQ(record.tip, u"Quillmarsh - Alt+Z Show/Hide");
  }
  EXPECT_EQ(area.sent.back().icon, reinterpret_cast<void*>(0x102));

  // A show re-sends the reloaded icon by NIM_MODIFY (the tip's, then the icon's own).
  area.calls.clear();
  area.sent.clear();
  EXPECT_TRUE(AddOrUpdateTrayIcon(tray, area, kWindow, true, u"Ctrl+Q"));
  EXPECT_EQ(area.calls, (Calls{"load", "modify", "modify", "kill timer"}));
  EXPECT_EQ(area.sent.back().icon, reinterpret_cast<void*>(0x103));
  EXPECT_EQ(area.sent.back().tip, u"Quillmarsh - Ctrl+Q Show/Hide");
}

TEST(TrayIcon, TaskbarCreatedAddsTheIconAgain) {
  ScriptedArea area;
  TrayIcon tray;
  ASSERT_TRUE(AddOrUpdateTrayIcon(tray, area, kWindow, false, u"Alt+Z"));
  area.calls.clear();
  EXPECT_TRUE(TrayIconLost(tray, area, kWindow, u"Alt+Z"));
  EXPECT_EQ(area.calls, (Calls{"load", "add", "modify", "kill timer"}));

  // Explorer restarting while the shell is not ready yet: the timer takes over.
  area.calls.clear();
  area.addAnswers = {false};
  EXPECT_FALSE(TrayIconLost(tray, area, kWindow, u"Alt+Z"));
  EXPECT_EQ(area.calls, (Calls{"load", "add", "set timer"}));
  EXPECT_TRUE(AddOrUpdateTrayIcon(tray, area, kWindow, true, u"Alt+Z"));

  area.calls.clear();
  RemoveTrayIcon(tray, area);
  EXPECT_FALSE(tray.added);
  EXPECT_EQ(area.calls, (Calls{"kill timer", "delete"}));
}

TEST(TrayIcon, TipIsSentOnlyWhileTheIconIsAdded) {
  testing::LanguageAndTagsGuard english(false);
  ScriptedArea area;
  TrayIcon tray;
  UpdateTrayTip(tray, area, u"Alt+Z");  // before window creation: no window, not added
  area.addAnswers = {false};
  AddOrUpdateTrayIcon(tray, area, kWindow, false, u"Alt+Z");
  area.calls.clear();
  UpdateTrayTip(tray, area, u"Ctrl+Shift+F");
  EXPECT_TRUE(area.calls.empty());
  EXPECT_EQ(tray.record.tip, u"Quillmarsh - Ctrl+Shift+F Show/Hide");

  AddOrUpdateTrayIcon(tray, area, kWindow, true, u"Ctrl+Shift+F");
  area.calls.clear();
  area.sent.clear();
  UpdateTrayTip(tray, area, u"Win+Z");
  EXPECT_EQ(area.calls, (Calls{"modify"}));
  EXPECT_EQ(area.sent[0].tip, u"Quillmarsh - Win+Z Show/Hide");

  RemoveTrayIcon(tray, area);
  area.calls.clear();
  UpdateTrayTip(tray, area, u"Alt+Z");
  EXPECT_TRUE(area.calls.empty());
}

TEST(TrayIcon, TipText) {
  const std::u16string longName(200, u'K');
  const struct {
    bool chinese;
    std::u16string_view name;
    std::u16string expected;
  } cases[] = {
      {false, u"Alt+Z", u"Quillmarsh - Alt+Z Show/Hide"},
      {true, u"Alt+Z", u"云雀寻迹 - Alt+Z 显示/隐藏"},
      {false, longName, u"Quillmarsh - " + longName.substr(0, 127 - 13)},
      {true, longName, u"云雀寻迹 - " + longName.substr(0, 127 - 7)},
      // Exactly 127 units fit whole.
      {false, std::u16string_view(longName).substr(0, 127 - 23),
       u"Quillmarsh - " + longName.substr(0, 104) + u" Show/Hide"},
  };
  for (const auto& c : cases) {
    testing::LanguageAndTagsGuard language(c.chinese);
    EXPECT_EQ(TrayTipText(c.name), c.expected);
  }
}

TEST(TrayIcon, MenuAndHomepageInBothLanguages) {
  const struct {
    bool chinese;
    std::vector<std::u16string_view> texts;
    std::u16string_view homepage;
  } languages[] = {
      {false,
       {u"Homepage", u"Run on Startup", u"Set Show/Hide Hotkey", u"Clear Recent Opens",
        u"Show Window", u"Exit"},
       u"https://quillmarsh.org/quillmarsh"},
      {true,
       {u"主页", u"开机启动", u"设置显示/隐藏快捷键", u"清空最近打开记录", u"显示主窗口", u"退出"},
       u"https://quillmarsh.cn/quillmarsh"},
  };
  const uint32_t ids[] = {20004, 20005, 20007, 20006, 20001, 0, 20002};
  for (const auto& l : languages) {
    testing::LanguageAndTagsGuard language(l.chinese);
    EXPECT_EQ(HomepageAddress(), l.homepage);
    for (bool autoStart : {false, true}) {
      const std::vector<MenuEntry> entries = TrayMenuEntries(autoStart);
      ASSERT_EQ(entries.size(), std::size(ids));
      size_t text = 0;
      for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].command, ids[i]) << i;
        EXPECT_FALSE(entries[i].grayed);
        EXPECT_EQ(entries[i].checked, autoStart && ids[i] == 20005) << i;
        if (ids[i] != 0) {
          EXPECT_EQ(Text(entries[i].text), l.texts[text++]) << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qm
