#include "base/main_window.h"

namespace qm {

std::atomic<MessagePoster*> mainWindow{nullptr};

bool PostToMainWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  MessagePoster* window = mainWindow.load();
  return window && window->Post(message, wParam, lParam);
}

}  // namespace qm
