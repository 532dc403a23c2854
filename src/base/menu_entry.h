// One item of a pop-up menu as the portable code describes it; the window appends it with
// AppendMenuW.
#pragma once

#include <cstdint>

#include "base/texts.h"

namespace qm {

struct MenuEntry {
  uint32_t command = 0;  // 0: a separator
  TextId text = TextId::kCount;
  bool grayed = false;   // MF_GRAYED
  bool checked = false;  // MF_CHECKED
};

}  // namespace qm
