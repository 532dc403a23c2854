#include <windows.h>

#include <cstring>
#include <string>

#include "platform/clipboard.h"

namespace qm {

namespace {

static_assert(CF_UNICODETEXT == kClipboardUnicodeText && CF_HDROP == kClipboardFileList);

class Win32Clipboard final : public Clipboard {
 public:
  // Another program (a clipboard viewer, a history tool) holds the clipboard open for a moment
  // now and then: a few tries over about 100 ms before the open counts as failed.
  bool Open(WindowHandle owner) override {
    for (int attempt = 0;; ++attempt) {
      if (OpenClipboard(static_cast<HWND>(owner))) return true;
      if (attempt == 9) return false;
      Sleep(10);
    }
  }

  void Empty() override { EmptyClipboard(); }

  uint32_t RegisterFormat(std::u16string_view name) override {
    const std::u16string text(name);
    return RegisterClipboardFormatW(reinterpret_cast<const wchar_t*>(text.c_str()));
  }

  bool Put(uint32_t format, const std::vector<uint8_t>& bytes) override {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    if (!block) return false;
    void* data = GlobalLock(block);
    if (!data) {
      GlobalFree(block);
      return false;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(block);
    // Once the clipboard took the block it belongs to the system.
    if (SetClipboardData(format, block)) return true;
    GlobalFree(block);
    return false;
  }

  void Close() override { CloseClipboard(); }
};

}  // namespace

Clipboard& SystemClipboard() {
  static Win32Clipboard clipboard;
  return clipboard;
}

}  // namespace qm
