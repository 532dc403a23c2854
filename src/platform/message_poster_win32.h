// Posts workers' messages to the main window with PostMessageW.
#pragma once

#include "platform/message_poster.h"

namespace qm {

class Win32MessagePoster : public MessagePoster {
 public:
  // `window` is the main window's HWND.
  explicit Win32MessagePoster(void* window) : window_(window) {}
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 private:
  void* window_;
};

}  // namespace qm
