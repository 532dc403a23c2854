// Where the controls above the result list go: the drive box and the search box on one line,
// the filter-tag buttons on at most two lines below them, the status line above the header.
// Fixed pixels; the window measures the button texts and moves the controls.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qm {

struct ControlRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const ControlRect&) const = default;
};

// Creation positions (the first WM_SIZE moves them at once).
inline constexpr ControlRect kDriveBoxAtCreation = {15, 12, 65, 200};  // 200: drop-down height
inline constexpr ControlRect kSearchBoxAtCreation = {90, 12, 525, 32};
inline constexpr ControlRect kStatusLineAtCreation = {15, 135, 800, 20};
ControlRect TagButtonAtCreation(size_t index);  // 15 + 110 i, 60, 100 x 32

struct ControlRects {
  ControlRect driveBox;
  ControlRect searchBox;
  ControlRect statusLine;
};

// The controls' places for a client area `clientWidth` wide.
ControlRects ControlRectsFor(int32_t clientWidth);

inline constexpr int32_t kTagLineLeft = 15;
inline constexpr int32_t kTagFirstLineY = 55;
inline constexpr int32_t kTagLineStep = 40;
inline constexpr int32_t kTagButtonHeight = 32;
inline constexpr int32_t kTagButtonGap = 10;
inline constexpr int32_t kTagTextPadding = 24;
inline constexpr int32_t kTagButtonMinWidth = 80;
inline constexpr int32_t kTagButtonMaxWidth = 150;

// A button's width for its measured text width: text + 24, at least 80, at most 150.
int32_t TagButtonWidth(int32_t textWidth);

struct ButtonPlacement {
  ControlRect rect;  // 0, 0, 0 x 0 when hidden
  bool visible = false;
  bool operator==(const ButtonPlacement&) const = default;
};

// The tag buttons in tag order, given their measured text widths: left to right on the first
// line while they fit (x + w <= client width - 15), then the second line, whose first button
// is placed even when wider than the window; a button that does not fit on the second line is
// hidden and a later, narrower one may still fit there.
std::vector<ButtonPlacement> LayoutTagButtons(std::span<const int32_t> textWidths,
                                              int32_t clientWidth);

}  // namespace qm
