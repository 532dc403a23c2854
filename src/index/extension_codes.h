// The extensions of one drive's names, each numbered the first time a record shows it, so that a
// record carries its extension in one byte (FileRecord::extension) and the passes that count or
// filter a result list by extension read the records only, not the names behind them.
//
// An extension is a name's last "." and the units behind it, A to Z folded; a name without a "."
// has the empty extension. A drive numbers up to 255 extensions, usually every one it holds in
// numbers (a few hundred kinds cover nearly all of a drive's files); a record whose extension
// came after those, or is longer than kLongest units, carries kUncoded, and a pass reads its
// name.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/fold_case.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

class ExtensionCodes {
 public:
  static constexpr uint8_t kUncoded = 0;
  static constexpr uint8_t kNoExtension = 1;  // the empty extension, numbered from the start
  static constexpr size_t kCodes = 256;       // codes 1 to 255 number extensions
  static constexpr size_t kLongest = 16;      // units of a numbered extension, its "." included

  // The code of the extension of the `length` units at `name`, a stored name (it may be read up
  // to 8 units past its end), numbering the extension when it is new and a code is free. Caller
  // holds the drive's lock exclusively or is the only thread that reaches the drive.
  uint8_t CodeOf(const char16_t* name, size_t length) {
#if defined(__SSE2__)
    // The usual name: a "." among its last eight units, an extension numbered already and found
    // at the first slot it hashes to.
    const size_t base = length >= kPacked ? length - kPacked : 0;
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + base));
    const uint32_t own = (uint32_t(1) << (2 * std::min(length, kPacked))) - 1;
    const uint32_t dots =
        uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_set1_epi16('.')))) & own;
    if (dots != 0) {
      const size_t dot = base + size_t(31 - std::countl_zero(dots)) / 2;
      const Key key = Pack(name + dot, length - dot);
      const uint8_t code = slots_[SlotOf(key)];
      if (code != 0 && keys_[code] == key) return code;
    }
#endif
    return Number(name, length);
  }

  // 1 + the extensions numbered so far: codes below it are numbered. Caller holds the drive's
  // lock shared.
  size_t size() const {
    return extensions_.size();
  }
  // The folded extension numbered `code` (0 < code < size()).
  std::u16string_view Extension(uint8_t code) const {
    return extensions_[code];
  }

  void Clear();

 private:
  static constexpr size_t kSlots = 512;  // at most half of them used
  static constexpr size_t kPacked = 8;   // units of an extension kept as a Key

  // An extension of at most kPacked units as two words of four folded units, zero behind it:
  // found with three compares. A longer one has no key (all zero) and is compared unit by unit.
  struct Key {
    uint64_t low = 0;
    uint64_t high = 0;
    uint64_t units = 0;
    bool operator==(const Key&) const = default;
  };
  // Eight units are read whatever the extension's length; those behind it are cleared.
  static Key Pack(const char16_t* extension, size_t units) {
    Key key;
    std::memcpy(&key.low, extension, sizeof key.low);
    std::memcpy(&key.high, extension + 4, sizeof key.high);
    const auto unitsMask = [](size_t n) {
      return n >= 4 ? ~uint64_t(0) : (uint64_t(1) << (16 * n)) - 1;
    };
    key.low = FoldFourUnits(key.low & unitsMask(units));
    key.high = FoldFourUnits(key.high & unitsMask(units > 4 ? units - 4 : 0));
    key.units = units;
    return key;
  }
  static size_t SlotOf(const Key& key) {
    return size_t(
               (key.low * 0x9E3779B97F4A7C15ULL ^ key.high * 0xC2B2AE3D27D4EB4FULL ^ key.units) >>
               40) %
           kSlots;
  }

  // CodeOf for any name: probes past other extensions, numbers a new one.
  uint8_t Number(const char16_t* name, size_t length);

  std::vector<std::u16string> extensions_ = {u"", u""};  // by code; code 0 unused
  std::array<Key, kCodes> keys_{};                       // by code
  std::array<uint8_t, kSlots> slots_{};                  // by hash: a code, 0 for none
};

}  // namespace qm
