// The program's own window messages, all sent to the main window.
#pragma once

#include <cstdint>

namespace qm {

inline constexpr uint32_t kWmUser = 0x0400;
inline constexpr uint32_t kWmApp = 0x8000;

// wParam 1: no drive could be indexed; 0: at least one drive is indexed.
inline constexpr uint32_t WM_INDEX_READY = kWmUser + 1;
// wParam: the sender's searchGeneration; lParam 1: keep scroll position and selection.
inline constexpr uint32_t WM_SEARCH_DONE = kWmUser + 2;
// wParam: the sender's searchGeneration; lParam: heap text the receiver frees.
inline constexpr uint32_t WM_SET_TITLE = kWmUser + 3;
inline constexpr uint32_t WM_FILTER_DONE = kWmUser + 4;
inline constexpr uint32_t WM_TRAY_CALLBACK = kWmApp + 1;

}  // namespace qm
