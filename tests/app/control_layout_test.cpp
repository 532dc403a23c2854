#include "app/control_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace qm {
namespace {

using Widths = std::vector<int32_t>;
using Placements = std::vector<ButtonPlacement>;

ButtonPlacement Shown(int32_t x, int32_t y, int32_t w) {
  return {{x, y, w, 32}, true};
}

// The tag rows seen as two lines: line 1 is the longest prefix whose buttons fit one after
// another; the next button always opens line 2; each later button goes on line 2 only if it
// fits after the last one placed there, and is hidden otherwise.
Placements ReferenceLayout(const Widths& texts, int32_t clientWidth) {
  const int32_t right = clientWidth - 15;
  Placements out(texts.size());
  size_t i = 0;
  for (int32_t x = 15; i < texts.size(); ++i) {
    const int32_t w = std::min(150, std::max(80, texts[i] + 24));
    if (x + w > right) break;
    out[i] = Shown(x, 55, w);
    x += w + 10;
  }
  for (int32_t x = 15; i < texts.size(); ++i) {
    const int32_t w = std::min(150, std::max(80, texts[i] + 24));
    if (x != 15 && x + w > right) continue;
    out[i] = Shown(x, 95, w);
    x += w + 10;
  }
  return out;
}

TEST(ControlLayoutTest, FixedPlacesAndButtonWidths) {
  const ControlRects rects = ControlRectsFor(1000);
  EXPECT_EQ(rects.driveBox, (ControlRect{15, 12, 65, 200}));
  EXPECT_EQ(rects.searchBox, (ControlRect{90, 12, 895, 32}));
  EXPECT_EQ(rects.statusLine, (ControlRect{15, 135, 970, 20}));
  EXPECT_EQ(ControlRectsFor(640).searchBox.width, 535);
  EXPECT_EQ(TagButtonAtCreation(0), (ControlRect{15, 60, 100, 32}));
  EXPECT_EQ(TagButtonAtCreation(6), (ControlRect{675, 60, 100, 32}));

  const std::pair<int32_t, int32_t> widths[] = {{-5, 80},   {56, 80},   {57, 81},   {100, 124},
                                                {126, 150}, {127, 150}, {4000, 150}};
  for (auto [text, width] : widths) EXPECT_EQ(TagButtonWidth(text), width) << text;
}

TEST(ControlLayoutTest, SevenTagsAtAThousandPixels) {
  // The seventh button ends exactly at the right limit (985) and stays on line 1; one pixel
  // wider and it opens line 2.
  Widths texts = {100, 126, 127, 90, 180, 60, 114};
  const Placements line1 = {Shown(15, 55, 124),  Shown(149, 55, 150), Shown(309, 55, 150),
                            Shown(469, 55, 114), Shown(593, 55, 150), Shown(753, 55, 84),
                            Shown(847, 55, 138)};
  EXPECT_EQ(LayoutTagButtons(texts, 1000), line1);
  texts.back() = 115;
  Placements wrapped = line1;
  wrapped.back() = Shown(15, 95, 139);
  EXPECT_EQ(LayoutTagButtons(texts, 1000), wrapped);
}

TEST(ControlLayoutTest, NarrowWindowsHideWhatDoesNotFitOnTwoLines) {
  // Limit 405: two buttons on line 1, two on line 2, the fifth hidden; the narrower sixth
  // still fits where the fifth would have gone.
  EXPECT_EQ(LayoutTagButtons(Widths{130, 130, 130, 76, 130, 40}, 420),
            (Placements{Shown(15, 55, 150), Shown(175, 55, 150), Shown(15, 95, 150),
                        Shown(175, 95, 100), ButtonPlacement{}, Shown(285, 95, 80)}));

  // Narrower than one button: it alone stands on line 2. Widening shows the others again.
  const Widths seven(7, 130);
  const std::pair<int32_t, size_t> shown[] = {{60, 1}, {400, 4}, {659, 6}, {660, 7}};
  for (auto [clientWidth, count] : shown) {
    const Placements placed = LayoutTagButtons(seven, clientWidth);
    EXPECT_EQ(
        size_t(std::count_if(placed.begin(), placed.end(), [](auto& b) { return b.visible; })),
        count)
        << clientWidth;
  }
  EXPECT_EQ(LayoutTagButtons(seven, 60)[0], Shown(15, 95, 150)) << "wider than the window";
}

TEST(ControlLayoutTest, AgreesWithTheTwoLineReferenceOnRandomRows) {
  std::mt19937 random(20240307);
  for (int round = 0; round < 5000; ++round) {
    Widths texts(random() % 12);
    for (int32_t& w : texts) w = int32_t(random() % 200) - 10;
    const int32_t clientWidth = int32_t(random() % 1400);
    ASSERT_EQ(LayoutTagButtons(texts, clientWidth), ReferenceLayout(texts, clientWidth))
        << "round " << round;
  }
}

}  // namespace
}  // namespace qm
