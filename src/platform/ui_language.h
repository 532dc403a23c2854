// Where the process-wide language flag comes from: the user's default UI language.
#pragma once

#include <cstdint>

namespace qm {

class UiLanguageSystem {
 public:
  virtual ~UiLanguageSystem() = default;
  // GetUserDefaultUILanguage: a language identifier such as 0x0804 (Chinese, PRC) or 0x0409.
  virtual uint16_t UserDefaultUiLanguage() = 0;
};

// GetUserDefaultUILanguage in the Windows build; 0x0409 (English) natively.
UiLanguageSystem& SystemUiLanguage();

}  // namespace qm
