// How workers reach the main window: they never touch it, they post a message to it.
// PostMessageW in the Windows build; a recorder in tests and in the headless front end.
#pragma once

#include <cstdint>

namespace qm {

class MessagePoster {
 public:
  virtual ~MessagePoster() = default;
  // Returns false when the message could not be posted (the sender then still owns anything
  // that lParam points to).
  virtual bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace qm
