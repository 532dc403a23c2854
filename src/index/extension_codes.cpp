#include "index/extension_codes.h"

namespace qm {

uint8_t ExtensionCodes::Number(const char16_t* name, size_t length) {
  // The last "." among the last kLongest units; none there in a longer name means an extension
  // too long to number (or none at all, which only reading the whole name would tell).
  const size_t lowest = length > kLongest ? length - kLongest : 0;
  size_t dot = length;
  for (size_t k = length; k > lowest; --k) {
    if (name[k - 1] == u'.') {
      dot = k - 1;
      break;
    }
  }
  if (dot == length) return length > kLongest ? kUncoded : kNoExtension;
  const char16_t* extension = name + dot;
  const size_t units = length - dot;
  const bool packed = units <= kPacked;
  const Key key = packed ? Pack(extension, units) : Key{};
  const size_t first = packed ? SlotOf(key) : HashFolded(0, extension, units) % kSlots;
  for (size_t slot = first;; slot = (slot + 1) % kSlots) {
    const uint8_t code = slots_[slot];
    if (code == 0) {
      if (size() == kCodes) return kUncoded;
      std::u16string folded(extension, units);
      for (char16_t& unit : folded) unit = FoldUnit(unit);
      keys_[extensions_.size()] = key;
      slots_[slot] = uint8_t(extensions_.size());
      extensions_.push_back(std::move(folded));
      return slots_[slot];
    }
    if (packed ? keys_[code] == key
               : FoldedEquals(std::u16string_view(extension, units), Extension(code))) {
      return code;
    }
  }
}

void ExtensionCodes::Clear() {
  extensions_.assign(2, u"");
  keys_.fill(Key{});
  slots_.fill(0);
}

}  // namespace qm
