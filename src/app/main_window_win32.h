// The main window of the Windows program: its class, its state, its window procedure and the
// painting of the result list. Only the window thread touches what is declared here.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "app/window_model.h"
#include "platform/config_system.h"
#include "platform/drive_system.h"
#include "shell/hotkey.h"
#include "shell/tray_icon.h"

namespace qm {

inline constexpr wchar_t kMainWindowClass[] = L"QUILLFRAME";
inline constexpr int kIconResource = 104;

// Control IDs.
inline constexpr int kSearchBoxId = 101;
inline constexpr int kStatusLineId = 103;
inline constexpr int kDriveBoxId = 104;
inline constexpr int kFirstTagButtonId = 200;

struct MainWindow {
  HWND window = nullptr;
  HWND searchBox = nullptr;
  HWND driveBox = nullptr;
  HWND statusLine = nullptr;
  HWND tooltip = nullptr;
  std::vector<HWND> tagButtons;  // in tag order
  WNDPROC searchBoxProcedure = nullptr;

  HFONT listFont = nullptr;
  HFONT headerFont = nullptr;
  HFONT inputFont = nullptr;
  HFONT buttonFont = nullptr;
  HDC backBuffer = nullptr;
  HBITMAP backBitmap = nullptr;
  HBITMAP initialBitmap = nullptr;  // the memory DC's own 1 x 1 bitmap, put back at the end

  UINT taskbarCreatedMessage = 0;
  TrayIcon tray;
  bool exitRequested = false;

  WindowModel model;

  DriveSystem* drives = nullptr;   // set before the window is created; outlives discovery
  ConfigSystem* config = nullptr;  // set before the window is created
  std::thread discovery;           // joined when the window is destroyed
};

// The program's one main window.
extern MainWindow mainWindowState;

// Registers QUILLFRAME (icon 104 at 32 x 32, else the system's application icon).
bool RegisterMainWindowClass(HINSTANCE instance);

// Creates the 1000 x 600 main window with the first title; its creation handler builds the
// controls and starts drive discovery over `drives`.
HWND CreateMainWindow(HINSTANCE instance, DriveSystem& drives, ConfigSystem& config);

// The search box's text as the window reads it: into a 256-unit buffer.
std::u16string SearchBoxText(const MainWindow& window);

// Ends the background work: shuttingDown is set, discovery is joined, every worker is waited
// for and every drive released. Run when the window is destroyed and again after the loop.
void StopDrives(MainWindow& window);

// The hotkey capture as it reaches this window: its status line, its showing, its tray tip.
HotkeyCaptureContext HotkeyCapture(MainWindow& window);

// The list area (below the controls, from the header down) is to be repainted.
void InvalidateList(const MainWindow& window, bool erase);

// Sets the vertical scroll bar from the display list and the scroll offset.
void UpdateScrollBar(const MainWindow& window);

// The result list's messages (list_input_win32.cpp). The mouse, wheel, scroll-bar and key
// messages: true when the list handled the message (the window procedure returns 0).
bool HandleListMessage(MainWindow& window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_SETCURSOR: true when the cursor was set (the window procedure returns TRUE).
bool SetListCursor(const MainWindow& window, LPARAM hitTest);
// Registers the tracking tool of the list's tooltip.
void AddListTooltipTool(const MainWindow& window);
// Down in the search box: true when the focus moved to the list and a row is selected.
bool FocusListFromSearchBox(MainWindow& window);

// Paints the header and the visible rows into the back buffer and copies it to `target`.
void PaintResultList(MainWindow& window, HDC target);

}  // namespace qm
