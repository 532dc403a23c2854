// Modal message boxes owned by a window: MessageBoxW in the Windows build. The portable code
// names buttons and icons; the Windows side maps them to the MB_ flags.
#pragma once

#include <string_view>

namespace qm {

using WindowHandle = void*;  // an HWND; nullptr for a box without owner

enum class MessageButtons { kOk, kYesNo };  // MB_OK 0, MB_YESNO 4
enum class MessageIcon {
  kNone,
  kInformation,
  kQuestion,
  kWarning,
  kError
};  // 0, 0x40, 0x20, 0x30, 0x10
enum class MessageAnswer { kOk, kYes, kNo, kOther };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows the box and waits for the answer. A box that cannot be shown answers kOther.
  virtual MessageAnswer Show(WindowHandle owner, std::u16string_view text,
                             std::u16string_view caption, MessageButtons buttons,
                             MessageIcon icon) = 0;
};

// MessageBoxW in the Windows build. Natively there is no screen: the text goes to standard
// error and every question is answered No, so nothing is changed without a yes.
MessageBoxes& SystemMessageBoxes();

}  // namespace qm
