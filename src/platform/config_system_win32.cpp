#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/config_system.h"

namespace qm {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is one UTF-16 unit");

// UTF-16 units copied one for one; the terminating zero comes from std::wstring.
std::wstring Wide(std::u16string_view path) {
  return std::wstring(path.begin(), path.end());
}

// Shared as the runtime's "r" mode shares: others may read and write meanwhile.
constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Win32ConfigSystem final : public ConfigSystem {
 public:
  bool DocumentsFolder(std::u16string* folder) override {
    wchar_t buffer[MAX_PATH] = {};
    HRESULT result = SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(result)) return false;
    buffer[MAX_PATH - 1] = 0;
    folder->assign(buffer, buffer + wcslen(buffer));
    return true;
  }

  void MakeFolder(std::u16string_view path) override {
    CreateDirectoryW(Wide(path).c_str(), nullptr);
  }

  bool ReadBytes(std::u16string_view path, size_t maxBytes, std::string* bytes) override {
    bytes->clear();
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, kReadShare, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[64 * 1024];
    while (bytes->size() < maxBytes) {
      DWORD want = DWORD(std::min<size_t>(sizeof(buffer), maxBytes - bytes->size()));
      DWORD got = 0;
      if (!ReadFile(file, buffer, want, &got, nullptr) || got == 0) break;
      bytes->append(buffer, got);
    }
    CloseHandle(file);
    return true;
  }

  bool WriteBytes(std::u16string_view path, std::string_view bytes) override {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
      DWORD want = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
      DWORD written = 0;
      ok = WriteFile(file, bytes.data() + done, want, &written, nullptr) && written == want;
      done += written;
    }
    if (ok) ok = FlushFileBuffers(file) != 0;
    if (!CloseHandle(file)) ok = false;
    return ok;
  }

  bool ReplaceAtomically(std::u16string_view from, std::u16string_view to) override {
    // A read-only target stays, as it would have refused being opened for writing. (Windows'
    // MoveFileExW refuses it too; Wine's replaces it.)
    const DWORD attributes = GetFileAttributesW(Wide(to).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      return false;
    }
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  std::u16string SaveTarget(std::u16string_view path) override {
    // Opening follows every link (Wine's view of a Unix link too, which shows no reparse
    // point); the handle then names the file itself.
    HANDLE file =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::u16string(path);
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    while (true) {
      length = GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length < buffer.size()) break;
      buffer.resize(length);  // too small: `length` counts the terminating zero too
    }
    CloseHandle(file);
    if (length == 0) return std::u16string(path);
    buffer.resize(length);
    // \\?\C:\x is C:\x, and \\?\UNC\server\share\x is \\server\share\x.
    std::wstring_view name(buffer);
    std::wstring plain;
    if (name.starts_with(L"\\\\?\\UNC\\")) {
      plain = L"\\\\" + std::wstring(name.substr(8));
    } else if (name.starts_with(L"\\\\?\\")) {
      plain = name.substr(4);
    } else {
      plain = name;
    }
    return std::u16string(plain.begin(), plain.end());
  }

  void RemoveFile(std::u16string_view path) override { DeleteFileW(Wide(path).c_str()); }

  bool CopyOver(std::u16string_view from, std::u16string_view to) override {
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
  }
};

}  // namespace

ConfigSystem& SystemConfigSystem() {
  static Win32ConfigSystem system;
  return system;
}

}  // namespace qm
