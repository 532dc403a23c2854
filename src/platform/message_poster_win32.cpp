#include "platform/message_poster_win32.h"

#include <windows.h>

namespace qm {

bool Win32MessagePoster::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageW(static_cast<HWND>(window_), message, wParam, lParam) != FALSE;
}

}  // namespace qm
