#include <windows.h>

#include <shellapi.h>

#include <string>

#include "platform/shell_actions.h"

namespace qm {

namespace {

static_assert(sizeof(SHELLEXECUTEINFOW) == kShellExecuteInfoSize);
static_assert(SEE_MASK_FLAG_NO_UI == kSeeMaskFlagNoUi);
static_assert(SEE_MASK_INVOKEIDLIST == kSeeMaskInvokeIdList);
static_assert(SW_SHOWNORMAL == kShowNormal);
static_assert(FO_DELETE == kFoDelete && FOF_SILENT == kFofSilent);
static_assert(FOF_NOCONFIRMATION == kFofNoConfirmation && FOF_ALLOWUNDO == kFofAllowUndo);
static_assert(FOF_NOERRORUI == kFofNoErrorUi);

// An empty text is passed as no text at all.
const wchar_t* OrNull(const std::u16string& text) {
  return text.empty() ? nullptr : reinterpret_cast<const wchar_t*>(text.c_str());
}

class Win32ShellActions final : public ShellActions {
 public:
  bool ExecuteEx(const ShellExecuteInfo& info) override {
    SHELLEXECUTEINFOW shell = {};
    shell.cbSize = info.size;
    shell.fMask = info.mask;
    shell.hwnd = static_cast<HWND>(info.owner);
    shell.lpVerb = OrNull(info.verb);
    shell.lpFile = OrNull(info.file);
    shell.lpParameters = OrNull(info.parameters);
    shell.lpDirectory = OrNull(info.directory);
    shell.nShow = info.show;
    return ShellExecuteExW(&shell) != FALSE;
  }

  void Execute(const ShellExecuteInfo& info) override {
    ShellExecuteW(static_cast<HWND>(info.owner), OrNull(info.verb), OrNull(info.file),
                  OrNull(info.parameters), OrNull(info.directory), info.show);
  }

  Win32Error DeleteOneFile(std::u16string_view path) override {
    const std::u16string text(path);
    if (DeleteFileW(reinterpret_cast<const wchar_t*>(text.c_str()))) return kErrorSuccess;
    return GetLastError();
  }

  FileOperationResult OperateOnFiles(const FileOperation& operation) override {
    SHFILEOPSTRUCTW shell = {};
    shell.hwnd = static_cast<HWND>(operation.owner);
    shell.wFunc = operation.function;
    shell.pFrom = reinterpret_cast<const wchar_t*>(operation.from.c_str());
    shell.fFlags = operation.flags;
    FileOperationResult result;
    result.result = SHFileOperationW(&shell);
    result.aborted = shell.fAnyOperationsAborted != FALSE;
    return result;
  }

  std::u16string WindowsDirectory() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const UINT length = GetWindowsDirectoryW(buffer.data(), UINT(buffer.size()));
      if (length == 0) return {};
      if (length < buffer.size()) {
        return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
      }
      buffer.assign(length, L'\0');  // too small: `length` counts the NUL
    }
  }
};

}  // namespace

ShellActions& SystemShellActions() {
  static Win32ShellActions shell;
  return shell;
}

}  // namespace qm
