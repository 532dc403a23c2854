#include "base/language.h"

namespace qm {

std::atomic<bool> chineseUi{false};

void SetLanguageFromSystem(UiLanguageSystem& system) {
  chineseUi.store(IsChineseLanguageId(system.UserDefaultUiLanguage()), std::memory_order_relaxed);
}

}  // namespace qm
