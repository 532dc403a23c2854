// What the file actions hand to the Windows shell and file system: ShellExecuteExW,
// ShellExecuteW, DeleteFileW, SHFileOperationW and GetWindowsDirectoryW in the Windows build.
// The portable code fills the structures field by field, so tests see exactly what the shell
// would be given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/message_box.h"
#include "platform/win32_codes.h"

namespace qm {

inline constexpr uint32_t kShellExecuteInfoSize = 112;  // sizeof(SHELLEXECUTEINFOW), 64-bit
inline constexpr uint32_t kSeeMaskInvokeIdList = 0x0C;
inline constexpr uint32_t kSeeMaskFlagNoUi = 0x400;
inline constexpr int32_t kShowNormal = 1;  // SW_SHOWNORMAL

// The fields of SHELLEXECUTEINFOW (or the arguments of ShellExecuteW) the actions set; every
// other field is zero. An empty parameters or directory text is passed as no text at all.
struct ShellExecuteInfo {
  uint32_t size = kShellExecuteInfoSize;
  uint32_t mask = 0;
  WindowHandle owner = nullptr;
  std::u16string verb;
  std::u16string file;
  std::u16string parameters;
  std::u16string directory;
  int32_t show = kShowNormal;
  bool operator==(const ShellExecuteInfo&) const = default;
};

inline constexpr uint32_t kFoDelete = 3;
inline constexpr uint16_t kFofSilent = 0x4;
inline constexpr uint16_t kFofNoConfirmation = 0x10;
inline constexpr uint16_t kFofAllowUndo = 0x40;
inline constexpr uint16_t kFofNoErrorUi = 0x400;

// The fields of SHFILEOPSTRUCTW the actions set; pTo and the rest are zero. `from` holds the
// whole list, its closing double NUL included.
struct FileOperation {
  WindowHandle owner = nullptr;
  uint32_t function = 0;
  std::u16string from;
  uint16_t flags = 0;
  bool operator==(const FileOperation&) const = default;
};

struct FileOperationResult {
  int32_t result = 0;    // SHFileOperationW's return value; 0 is success
  bool aborted = false;  // fAnyOperationsAborted
};

class ShellActions {
 public:
  virtual ~ShellActions() = default;
  // ShellExecuteExW; true when it reported success.
  virtual bool ExecuteEx(const ShellExecuteInfo& info) = 0;
  // ShellExecuteW with the owner, verb, file, parameters, directory and show of `info`.
  virtual void Execute(const ShellExecuteInfo& info) = 0;
  // DeleteFileW (named apart from its macro): kErrorSuccess, or GetLastError's code.
  virtual Win32Error DeleteOneFile(std::u16string_view path) = 0;
  virtual FileOperationResult OperateOnFiles(const FileOperation& operation) = 0;
  // GetWindowsDirectoryW, whole however long; empty when the system gives none.
  virtual std::u16string WindowsDirectory() = 0;
};

// The Windows build's shell (not available natively: the headless front end acts on no file).
ShellActions& SystemShellActions();

}  // namespace qm
