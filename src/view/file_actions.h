// The nine things the user can do with the selected result: open it, reveal it in Explorer,
// delete it (after a question) or move it to the Recycle Bin, put its path or the file itself
// on the clipboard, run it elevated, show its properties. RunFileAction resolves the selected
// row to its full path and hands it to the shell, the file system or the clipboard through
// the seams of platform/; opens are recorded in the recent opens.
//
// Everything here runs on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clipboard.h"
#include "platform/config_system.h"
#include "platform/message_box.h"
#include "platform/shell_actions.h"

namespace qm {

// The action codes; the numbers are the interface between the window and the actions.
enum class FileAction : int32_t {
  kOpenContainingFolder = 0,
  kOpenItem = 1,
  kDeletePermanently = 2,
  kCopyPath = 3,
  kCopyToClipboard = 4,
  kCutToClipboard = 5,
  kRunAsAdministrator = 6,
  kShowProperties = 7,
  kMoveToRecycleBin = 8,
};

// What an action reaches: the seams, the owner window of its message boxes and clipboard,
// and the search box (read after a delete and when the recent opens change).
struct FileActionContext {
  ConfigSystem& config;
  MessageBoxes& boxes;
  ShellActions& shell;
  Clipboard& clipboard;
  WindowHandle owner = nullptr;
  std::function<std::u16string()> searchBoxText;

  // The search box's text now (empty when there is no box).
  std::u16string SearchText() const { return searchBoxText ? searchBoxText() : std::u16string(); }
};

// Runs action `code` on row `selectedRow` of the display list. Nothing happens for a row that
// is negative or beyond the list, an entry without a path, or a code outside 0 to 8.
void RunFileAction(const FileActionContext& context, int32_t code, int64_t selectedRow);

// The pieces the actions hand over, exposed for their tests.

// ShellExecuteExW's structure for open (1), run as administrator (6) and properties (7).
ShellExecuteInfo ShellExecuteFor(FileAction action, std::u16string_view path);
// ShellExecuteW's arguments that reveal `path` in Explorer, started from `windowsDirectory`
// by its full path (an elevated program never starts another by its bare name).
ShellExecuteInfo RevealInExplorer(std::u16string_view windowsDirectory, std::u16string_view path);
// SHFileOperationW's structure moving `path` to the Recycle Bin.
FileOperation RecycleOperation(WindowHandle owner, std::u16string_view path);
// The CF_UNICODETEXT block: the path and its NUL.
std::vector<uint8_t> UnicodeTextBlock(std::u16string_view path);
// The CF_HDROP block: a 20-byte DROPFILES header (pFiles 20, pt 0 0, fNC 0, fWide 1), the
// path and its NUL, one more NUL.
std::vector<uint8_t> DropFilesBlock(std::u16string_view path);
// The "Preferred DropEffect" block: 2 (move) for a cut, 1 (copy) otherwise, little-endian.
std::vector<uint8_t> DropEffectBlock(bool cut);

}  // namespace qm
