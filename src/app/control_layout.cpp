#include "app/control_layout.h"

#include <algorithm>

namespace qm {

ControlRect TagButtonAtCreation(size_t index) {
  return {int32_t(15 + 110 * index), 60, 100, 32};
}

ControlRects ControlRectsFor(int32_t clientWidth) {
  return {kDriveBoxAtCreation, {90, 12, clientWidth - 105, 32}, {15, 135, clientWidth - 30, 20}};
}

int32_t TagButtonWidth(int32_t textWidth) {
  return std::clamp(textWidth + kTagTextPadding, kTagButtonMinWidth, kTagButtonMaxWidth);
}

std::vector<ButtonPlacement> LayoutTagButtons(std::span<const int32_t> textWidths,
                                              int32_t clientWidth) {
  std::vector<ButtonPlacement> placements;
  placements.reserve(textWidths.size());
  const int32_t limit = clientWidth - kTagLineLeft;
  int32_t x = kTagLineLeft;
  int32_t y = kTagFirstLineY;
  int line = 1;
  for (const int32_t textWidth : textWidths) {
    const int32_t w = TagButtonWidth(textWidth);
    if (x + w <= limit) {
      placements.push_back({{x, y, w, kTagButtonHeight}, true});
      x += w + kTagButtonGap;
    } else if (line == 1) {
      line = 2;
      y += kTagLineStep;
      placements.push_back({{kTagLineLeft, y, w, kTagButtonHeight}, true});
      x = kTagLineLeft + w + kTagButtonGap;
    } else {
      placements.push_back({});
    }
  }
  return placements;
}

}  // namespace qm
