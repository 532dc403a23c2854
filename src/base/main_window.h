// The main window as the workers see it: where their messages are posted. Set at start-up
// (PostMessageW to the window's handle in the Windows program; a recorder in the headless
// front end and in tests) before any worker starts; never changed while workers run.
#pragma once

#include <atomic>

#include "platform/message_poster.h"

namespace qm {

extern std::atomic<MessagePoster*> mainWindow;

// Posts to the main window; false when there is none or the post fails.
bool PostToMainWindow(uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace qm
