// The clipboard as the file actions use it: OpenClipboard, EmptyClipboard,
// RegisterClipboardFormatW, a movable global block handed to SetClipboardData, CloseClipboard.
// The portable code builds every byte of each block.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace qm {

inline constexpr uint32_t kClipboardUnicodeText = 13;  // CF_UNICODETEXT
inline constexpr uint32_t kClipboardFileList = 15;     // CF_HDROP

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool Open(WindowHandle owner) = 0;
  virtual void Empty() = 0;
  // The format's number; 0 when it cannot be registered.
  virtual uint32_t RegisterFormat(std::u16string_view name) = 0;
  // Copies `bytes` into a new movable block and sets it as `format`. False when the block
  // could not be allocated or the clipboard did not take it; such a block is freed here.
  virtual bool Put(uint32_t format, const std::vector<uint8_t>& bytes) = 0;
  virtual void Close() = 0;
};

// The Windows build's clipboard.
Clipboard& SystemClipboard();

}  // namespace qm
