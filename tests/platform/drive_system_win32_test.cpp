// The machine's drives as Windows reports them; under Wine, C: and Z: are NTFS drives whose
// change-journal controls are not supported.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/window_messages.h"
#include "index/drive_list.h"
#include "platform/drive_system_win32.h"
#include "platform/message_poster_win32.h"

namespace qm {
namespace {

TEST(Win32DriveSystem, ReportsDrivesAndTheirFileSystems) {
  Win32DriveSystem system;
  uint32_t mask = system.LogicalDriveMask();
  ASSERT_TRUE(mask & (1u << ('C' - 'A')));
  std::u16string name;
  ASSERT_TRUE(system.FileSystemName(u"C:\\", &name));
  EXPECT_FALSE(name.empty());
  for (int i = 25; i >= 0; --i) {
    if (mask & (1u << i)) continue;
    std::u16string root = {char16_t(u'A' + i), u':', u'\\'};
    EXPECT_FALSE(system.FileSystemName(root, &name)) << "a letter not in use";
    break;
  }
}

TEST(Win32MessagePoster, PostsToTheWindow) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  Win32MessagePoster poster(window);
  EXPECT_TRUE(poster.Post(WM_INDEX_READY, 1, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window, WM_INDEX_READY, WM_INDEX_READY, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  DestroyWindow(window);
  EXPECT_FALSE(poster.Post(WM_INDEX_READY, 0, 0)) << "the window is gone";
}

// Discovery on the machine itself: every drive Wine shows fails its journal query, so nothing
// is indexed and the window is told so.
TEST(Win32DriveSystem, DiscoveryWithoutJournalSupportIndexesNothing) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  Win32DriveSystem system;
  Win32MessagePoster poster(window);
  DriveList list;
  DiscoverDrives(list, system, poster);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window, WM_INDEX_READY, WM_INDEX_READY, PM_REMOVE));
  {
    std::lock_guard guard(list.mutex);
    // On a real Windows machine run as administrator drives would be indexed.
    EXPECT_EQ(msg.wParam, list.entries.empty() ? 1u : 0u);
  }
  ReleaseDrives(list);
  DestroyWindow(window);
}

}  // namespace
}  // namespace qm
