#include <windows.h>

#include "platform/ui_language.h"

namespace qm {

namespace {

class Win32UiLanguage final : public UiLanguageSystem {
 public:
  uint16_t UserDefaultUiLanguage() override { return GetUserDefaultUILanguage(); }
};

}  // namespace

UiLanguageSystem& SystemUiLanguage() {
  static Win32UiLanguage system;
  return system;
}

}  // namespace qm
