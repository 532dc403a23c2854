// The process-wide language flag: every user-visible text has a Chinese and an English form
// (app/texts.h), and this flag picks one. Start-up sets it once, before any text is shown and
// before any worker starts; afterwards it is only read (by workers too, hence the atomic).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ui_language.h"

namespace qm {

extern std::atomic<bool> chineseUi;  // false (English) until start-up sets it

inline bool IsChineseUi() {
  return chineseUi.load(std::memory_order_relaxed);
}

// A language identifier is Chinese when its primary language (the low 10 bits) is 4: 0x0804,
// 0x0404, 0x0C04, 0x1004 and 0x1404 all are.
constexpr bool IsChineseLanguageId(uint16_t languageId) {
  return (languageId & 0x3FF) == 4;
}

// Sets the flag from the user's default UI language.
void SetLanguageFromSystem(UiLanguageSystem& system);

}  // namespace qm
