#include <cstdio>
#include <string>

#include "platform/message_box.h"
#include "platform/utf8.h"

namespace qm {

namespace {

class PosixMessageBoxes final : public MessageBoxes {
 public:
  MessageAnswer Show(WindowHandle, std::u16string_view text, std::u16string_view caption,
                     MessageButtons buttons, MessageIcon) override {
    const std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static PosixMessageBoxes boxes;
  return boxes;
}

}  // namespace qm
