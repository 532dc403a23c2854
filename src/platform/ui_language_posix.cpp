#include "platform/ui_language.h"

namespace qm {

namespace {

class PosixUiLanguage final : public UiLanguageSystem {
 public:
  uint16_t UserDefaultUiLanguage() override { return 0x0409; }  // English (United States)
};

}  // namespace

UiLanguageSystem& SystemUiLanguage() {
  static PosixUiLanguage system;
  return system;
}

}  // namespace qm
