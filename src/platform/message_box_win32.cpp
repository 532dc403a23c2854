#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace qm {

namespace {

static_assert(MB_OK == 0 && MB_YESNO == 4);
static_assert(MB_ICONINFORMATION == 0x40 && MB_ICONQUESTION == 0x20);
static_assert(MB_ICONWARNING == 0x30 && MB_ICONERROR == 0x10);

UINT Style(MessageButtons buttons, MessageIcon icon) {
  UINT style = buttons == MessageButtons::kYesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case MessageIcon::kNone:
      break;
    case MessageIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case MessageIcon::kQuestion:
      style |= MB_ICONQUESTION;
      break;
    case MessageIcon::kWarning:
      style |= MB_ICONWARNING;
      break;
    case MessageIcon::kError:
      style |= MB_ICONERROR;
      break;
  }
  return style;
}

class Win32MessageBoxes final : public MessageBoxes {
 public:
  MessageAnswer Show(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                     MessageButtons buttons, MessageIcon icon) override {
    const std::wstring wideText(text.begin(), text.end());
    const std::wstring wideCaption(caption.begin(), caption.end());
    switch (MessageBoxW(static_cast<HWND>(owner), wideText.c_str(), wideCaption.c_str(),
                        Style(buttons, icon))) {
      case IDOK:
        return MessageAnswer::kOk;
      case IDYES:
        return MessageAnswer::kYes;
      case IDNO:
        return MessageAnswer::kNo;
      default:
        return MessageAnswer::kOther;
    }
  }
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static Win32MessageBoxes boxes;
  return boxes;
}

}  // namespace qm
