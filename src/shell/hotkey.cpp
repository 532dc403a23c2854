#include "shell/hotkey.h"

#include "base/texts.h"
#include "config/config_dir.h"

namespace qm {

HotkeySetting currentHotkey;
bool hotkeyCapture = false;

namespace {

void EndCapture(const HotkeyCaptureContext& context) {
  hotkeyCapture = false;
  if (context.setStatus) context.setStatus(u"");
}

}  // namespace

void LoadHotkey(ConfigSystem& config) {
  ReadHotkeyFile(config, HotkeyIniPath(config), &currentHotkey);
}

bool RegisterHotkey(HotkeySystem& system, WindowHandle window) {
  system.Unregister(window, kHotkeyShowHide);
  if (system.Register(window, kHotkeyShowHide, currentHotkey.modifiers, currentHotkey.key)) {
    return true;
  }
  system.Register(window, kHotkeyShowHide, currentHotkey.modifiers, currentHotkey.key);
  return false;
}

bool ApplyHotkey(HotkeySystem& system, ConfigSystem& config, WindowHandle window,
                 uint32_t modifiers, uint32_t key, bool save) {
  system.Unregister(window, kHotkeyShowHide);
  if (!system.Register(window, kHotkeyShowHide, modifiers, key)) {
    system.Register(window, kHotkeyShowHide, currentHotkey.modifiers, currentHotkey.key);
    return false;
  }
  currentHotkey = {modifiers, key};
  // A failed save keeps the combination for this run only.
  if (save) WriteHotkeyFile(config, HotkeyIniPath(config), currentHotkey);
  return true;
}

std::u16string HotkeyToText(HotkeySystem& system, const HotkeySetting& hotkey) {
  std::u16string text;
  if (hotkey.modifiers & kModControl) text += u"Ctrl+";
  if (hotkey.modifiers & kModAlt) text += u"Alt+";
  if (hotkey.modifiers & kModShift) text += u"Shift+";
  if (hotkey.modifiers & kModWin) text += u"Win+";
  std::u16string name = system.KeyName(hotkey.key);
  if (!name.empty()) {
    text += name;
  } else if ((hotkey.key >= 'A' && hotkey.key <= 'Z') || (hotkey.key >= '0' && hotkey.key <= '9')) {
    text.push_back(char16_t(hotkey.key));
  } else {
    text += u"Key";
  }
  return text;
}

std::u16string HotkeyToText(HotkeySystem& system) {
  return HotkeyToText(system, currentHotkey);
}

void BeginHotkeyCapture(const HotkeyCaptureContext& context) {
  hotkeyCapture = true;
  if (context.showWindow) context.showWindow();
  if (context.setStatus) context.setStatus(Text(TextId::kHotkeyPrompt));
}

bool HandleCaptureKey(const HotkeyCaptureContext& context, uint32_t message, uint32_t key) {
  if (!hotkeyCapture || (message != kMessageKeyDown && message != kMessageSysKeyDown)) {
    return false;
  }
  if (key == kVkEscape) {
    EndCapture(context);
    return true;
  }
  if (key == kVkShift || key == kVkControl || key == kVkMenu || key == kVkLeftWin ||
      key == kVkRightWin) {
    return true;  // a modifier alone: wait for the key
  }
  uint32_t modifiers = 0;
  if (context.system.KeyHeld(kVkControl)) modifiers |= kModControl;
  if (context.system.KeyHeld(kVkMenu)) modifiers |= kModAlt;
  if (context.system.KeyHeld(kVkShift)) modifiers |= kModShift;
  if (modifiers == 0) {
    context.boxes.Show(context.window, Text(TextId::kHotkeyNeedsModifier),
                       Text(TextId::kCaptionInformation), MessageButtons::kOk,
                       MessageIcon::kInformation);
    return true;
  }
  if (!ApplyHotkey(context.system, context.config, context.window, modifiers, key, true)) {
    context.boxes.Show(context.window, Text(TextId::kHotkeyRegisterFailed),
                       Text(TextId::kCaptionError), MessageButtons::kOk, MessageIcon::kError);
    return true;
  }
  if (context.hotkeyChanged) context.hotkeyChanged();
  EndCapture(context);
  std::u16string done(Text(TextId::kHotkeySetTo));
  done += HotkeyToText(context.system);
  context.boxes.Show(context.window, done, Text(TextId::kCaptionCompleted), MessageButtons::kOk,
                     MessageIcon::kInformation);
  return true;
}

}  // namespace qm
