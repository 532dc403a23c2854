// The show/hide hotkey: its name, loading hotkey.ini, registration with its fallback, and
// capture sequences against a scripted keyboard and a system that can refuse a combination.
#include "shell/hotkey.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/config_dir.h"
#include "support/config_fakes.h"

namespace qm {
namespace {

const WindowHandle kWindow = reinterpret_cast<WindowHandle>(uintptr_t{0x7002});

struct Registration {
  uint32_t modifiers;
  uint32_t key;
  bool operator==(const Registration&) const = default;
};

class ScriptedHotkeys : public HotkeySystem {
 public:
  bool Register(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) override {
    EXPECT_EQ(window, kWindow);
    EXPECT_EQ(id, 30001);
    registered.push_back({modifiers, key});
    return !refused.contains({modifiers, key});
  }
  void Unregister(WindowHandle window, int32_t id) override {
    EXPECT_EQ(window, kWindow);
    EXPECT_EQ(id, 30001);
    ++unregistered;
  }
  std::u16string KeyName(uint32_t key) override {
    auto it = names.find(key);
    return it == names.end() ? std::u16string() : it->second;
  }
  bool KeyHeld(uint32_t key) override { return held.contains(key); }

  std::vector<Registration> registered;
  int unregistered = 0;
  std::set<std::pair<uint32_t, uint32_t>> refused;
  std::map<uint32_t, std::u16string> names{{'Z', u"Z"}, {'F', u"F"}, {0x74, u"F5"}};
  std::set<uint32_t> held;
};

class HotkeyTest : public ::testing::Test {
 protected:
  HotkeyTest() : config(folder.program()) {
    currentHotkey = {};
    hotkeyCapture = false;
  }
  ~HotkeyTest() override {
    currentHotkey = {};
    hotkeyCapture = false;
  }

  HotkeyCaptureContext Context() {
    return {system,
            config,
            boxes,
            kWindow,
            [this](std::u16string_view text) { status.push_back(std::u16string(text)); },
            [this] { ++shown; },
            [this] { ++changed; }};
  }
  bool Press(uint32_t key, std::set<uint32_t> held = {}, uint32_t message = kMessageKeyDown) {
    system.held = std::move(held);
    return HandleCaptureKey(Context(), message, key);
  }
  std::optional<std::string> IniBytes() { return testing::FileBytes(HotkeyIniPath(config)); }

  testing::LanguageAndTagsGuard english{false};
  testing::TempFolder folder;
  testing::TestConfigSystem config;
  ScriptedHotkeys system;
  testing::ScriptedMessageBoxes boxes;
  std::vector<std::u16string> status;
  int shown = 0;
  int changed = 0;
};

TEST_F(HotkeyTest, Names) {
  const struct {
    uint32_t modifiers, key;
    std::u16string_view text;
  } cases[] = {
      {kModAlt, 'Z', u"Alt+Z"},
      {kModControl | kModShift, 'F', u"Ctrl+Shift+F"},
      {kModWin, 'Z', u"Win+Z"},
      {kModWin | kModShift | kModAlt | kModControl, 0x74, u"Ctrl+Alt+Shift+Win+F5"},
      {0, 'F', u"F"},
      // Keys the layout cannot name.
      {kModAlt, 'A', u"Alt+A"},
      {kModAlt, 'Y', u"Alt+Y"},
      {kModControl, '0', u"Ctrl+0"},
      {kModControl, '9', u"Ctrl+9"},
      {kModShift, 0x75, u"Shift+Key"},
      {kModAlt, 0x40, u"Alt+Key"},  // just outside 'A'..'Z' and '0'..'9'
      {kModAlt, 0x5B, u"Alt+Key"},
      {kModAlt, 0x2F, u"Alt+Key"},
      {kModAlt, 0x3A, u"Alt+Key"},
      {kModAlt, 0x61, u"Alt+Key"},  // VK_NUMPAD1, not the letter a
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HotkeyToText(system, {c.modifiers, c.key}), c.text);
  }
  system.names.clear();
  EXPECT_EQ(HotkeyToText(system), u"Alt+Z");  // the current combination, the default
}

TEST_F(HotkeyTest, CaptureCtrlAloneThenCtrlShiftF) {
  BeginHotkeyCapture(Context());
  EXPECT_TRUE(hotkeyCapture);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(status,
            std::vector<std::u16string>{
                u"Press a new hotkey combination (include Ctrl / Alt / Shift, Esc to cancel)"});

  EXPECT_TRUE(Press(kVkControl, {kVkControl}));
  EXPECT_TRUE(Press(kVkShift, {kVkControl, kVkShift}, kMessageSysKeyDown));
  EXPECT_TRUE(hotkeyCapture);
  EXPECT_TRUE(system.registered.empty());
  EXPECT_FALSE(Press('F', {kVkControl, kVkShift}, 0x0101)) << "a key release is not taken";

  EXPECT_TRUE(Press('F', {kVkControl, kVkShift}));
  EXPECT_FALSE(hotkeyCapture);
  EXPECT_EQ(system.unregistered, 1);
  EXPECT_EQ(system.registered, (std::vector<Registration>{{6, 'F'}}));
  EXPECT_EQ(currentHotkey, (HotkeySetting{6, 'F'}));
  EXPECT_EQ(IniBytes(), "\xEF\xBB\xBFmodifiers=6\r\nkey=70\r\n");
  EXPECT_EQ(status.back(), u"");
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, u"Hotkey set to: Ctrl+Shift+F");
  EXPECT_EQ(boxes.shown[0].caption, u"Completed");
  EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(boxes.shown[0].owner, kWindow);

  EXPECT_FALSE(Press('G', {kVkControl})) << "capture is over";
  EXPECT_EQ(system.registered.size(), 1u);
}

TEST_F(HotkeyTest, EscapeAndMissingModifier) {
  EXPECT_FALSE(Press(kVkEscape));
  BeginHotkeyCapture(Context());
  EXPECT_TRUE(Press(0x74));               // F5 alone
  EXPECT_TRUE(Press('Z', {kVkLeftWin}));  // the Windows keys are not read
  EXPECT_TRUE(hotkeyCapture);
  ASSERT_EQ(boxes.shown.size(), 2u);
  for (const testing::ShownBox& box : boxes.shown) {
    EXPECT_EQ(box.text, u"Hotkey must include Ctrl, Alt, or Shift.");
    EXPECT_EQ(box.caption, u"Information");
    EXPECT_EQ(box.icon, MessageIcon::kInformation);
  }
  EXPECT_TRUE(Press(kVkEscape, {kVkControl}));
  EXPECT_FALSE(hotkeyCapture);
  EXPECT_EQ(status.back(), u"");
  EXPECT_TRUE(system.registered.empty());
  EXPECT_EQ(changed, 0);
  EXPECT_FALSE(IniBytes());
}

TEST_F(HotkeyTest, RefusedCombinationKeepsThePreviousOne) {
  system.refused = {{kModAlt, 'F'}};
  BeginHotkeyCapture(Context());
  EXPECT_TRUE(Press('F', {kVkMenu}, kMessageSysKeyDown));
  EXPECT_TRUE(hotkeyCapture);
  EXPECT_EQ(system.registered, (std::vector<Registration>{{kModAlt, 'F'}, {kModAlt, 'Z'}}));
  EXPECT_EQ(currentHotkey, HotkeySetting{});
  EXPECT_FALSE(IniBytes());
  EXPECT_EQ(changed, 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, u"Failed to register hotkey. Try another combination.");
  EXPECT_EQ(boxes.shown[0].caption, u"Error");
  EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kError);
  EXPECT_EQ(status.size(), 1u) << "the prompt stays";

  EXPECT_TRUE(Press(0x74, {kVkMenu, kVkShift}, kMessageSysKeyDown));
  EXPECT_FALSE(hotkeyCapture);
  EXPECT_EQ(currentHotkey, (HotkeySetting{kModAlt | kModShift, 0x74}));
  EXPECT_EQ(IniBytes(), "\xEF\xBB\xBFmodifiers=5\r\nkey=116\r\n");
  EXPECT_EQ(boxes.shown.back().text, u"Hotkey set to: Alt+Shift+F5");

  // Refused again after a success: the fallback is the new combination, not the default.
  system.registered.clear();
  system.refused.insert({kModControl, 'F'});
  EXPECT_FALSE(ApplyHotkey(system, config, kWindow, kModControl, 'F', true));
  EXPECT_EQ(system.registered, (std::vector<Registration>{{kModControl, 'F'}, {5, 0x74}}));
  EXPECT_EQ(IniBytes(), "\xEF\xBB\xBFmodifiers=5\r\nkey=116\r\n");
}

TEST_F(HotkeyTest, ChineseTexts) {
  testing::LanguageAndTagsGuard chinese(true);
  BeginHotkeyCapture(Context());
  EXPECT_EQ(status.back(), u"请按下新的快捷键组合（至少包含 Ctrl / Alt / Shift，Esc 取消）");
  Press('Q');
  system.refused = {{kModControl, 'Q'}};
  Press('Q', {kVkControl});
  Press('F', {kVkControl});
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[0].text, u"快捷键至少需要包含 Ctrl、Alt 或 Shift。");
  EXPECT_EQ(boxes.shown[0].caption, u"提示");
  EXPECT_EQ(boxes.shown[1].text, u"注册快捷键失败，请尝试其它组合。");
  EXPECT_EQ(boxes.shown[1].caption, u"错误");
  EXPECT_EQ(boxes.shown[2].text, u"快捷键已设置为：Ctrl+F");
  EXPECT_EQ(boxes.shown[2].caption, u"完成");
}

TEST_F(HotkeyTest, LoadAndRegisterAtStart) {
  LoadHotkey(config);  // no file: the default
  EXPECT_EQ(currentHotkey, HotkeySetting{});
  testing::PutFileBytes(HotkeyIniPath(config), "key=70\r\n");
  LoadHotkey(config);
  EXPECT_EQ(currentHotkey, (HotkeySetting{kModAlt, 70}));
  testing::PutFileBytes(HotkeyIniPath(config), "\xEF\xBB\xBFmodifiers=8\r\nkey=90\r\n");
  LoadHotkey(config);
  EXPECT_EQ(HotkeyToText(system), u"Win+Z");

  EXPECT_TRUE(RegisterHotkey(system, kWindow));
  EXPECT_EQ(system.registered, (std::vector<Registration>{{kModWin, 'Z'}}));
  system.registered.clear();
  system.refused = {{kModWin, 'Z'}};
  EXPECT_FALSE(RegisterHotkey(system, kWindow));
  EXPECT_EQ(system.registered, (std::vector<Registration>{{kModWin, 'Z'}, {kModWin, 'Z'}}));
  EXPECT_EQ(system.unregistered, 2);
  EXPECT_EQ(currentHotkey, (HotkeySetting{kModWin, 'Z'}));
}

}  // namespace
}  // namespace qm
