#include <windows.h>

#include <string>

#include "shell/auto_start.h"

namespace qm {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

class Win32Processes final : public ProcessSystem {
 public:
  std::u16string SystemDirectory() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const UINT length = GetSystemDirectoryW(buffer.data(), UINT(buffer.size()));
      if (length == 0) return {};
      if (length < buffer.size()) {
        return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
      }
      buffer.assign(length, L'\0');  // too small: `length` counts the NUL
    }
  }

  std::u16string OwnPath() override {
    // A full buffer means the path was cut: try again with a larger one.
    for (DWORD size = MAX_PATH; size <= 32768 * 2; size *= 2) {
      std::wstring buffer(size, L'\0');
      const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
      if (length == 0) return {};
      if (length < size) {
        return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
      }
    }
    return {};
  }

  bool StartHidden(std::u16string_view program, std::u16string_view commandLine,
                   uint32_t* exitCode) override {
    const std::u16string application(program);
    std::u16string line(commandLine);  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(Wide(application), reinterpret_cast<wchar_t*>(line.data()), nullptr,
                        nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
      return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = kExitCodeUnknown;
    if (!GetExitCodeProcess(process.hProcess, &code)) code = kExitCodeUnknown;
    *exitCode = code;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }

  void DeleteRunValue(std::u16string_view name) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_WRITE, &key) != ERROR_SUCCESS) {
      return;
    }
    RegDeleteValueW(key, Wide(std::u16string(name)));
    RegCloseKey(key);
  }
};

}  // namespace

ProcessSystem& SystemProcesses() {
  static Win32Processes processes;
  return processes;
}

}  // namespace qm
