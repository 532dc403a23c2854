#include "view/list_geometry.h"

#include <gtest/gtest.h>

#include <random>

namespace qm {
namespace {

constexpr ColumnWidths kWidths = kInitialColumnWidths;  // borders at 60 310 430 590 750 1150
constexpr ColumnWidths kDragged = {60, 500, 120, 160, 160, 200};

TEST(ListGeometryTest, ColumnsAndThePathWidth) {
  const int32_t lefts[] = {0, 60, 310, 430, 590, 750};
  for (int k = 0; k < kColumns; ++k) EXPECT_EQ(ColumnLeft(kWidths, k), lefts[k]) << k;
  EXPECT_EQ(ColumnLeft(kDragged, 5), 1000);

  EXPECT_EQ(PathColumnWidth(kWidths, 1000), 250);
  EXPECT_EQ(PathColumnWidth(kWidths, 951), 201);
  EXPECT_EQ(PathColumnWidth(kWidths, 950), 200);
  EXPECT_EQ(PathColumnWidth(kWidths, 100), 200) << "never below 200";
  EXPECT_EQ(PathColumnWidth(kDragged, 1300), 300);
  EXPECT_EQ(PathColumnWidth(kDragged, 1100), 200);
}

TEST(ListGeometryTest, HitTests) {
  struct RowCase {
    int32_t y;
    int64_t offset;
    uint64_t rows;
    int64_t row;
  };
  const RowCase rowCases[] = {
      {201, 0, 10, -1},  {202, 0, 10, 0},   {237, 0, 10, 0},
      {238, 0, 10, 1},   {561, 0, 10, 9},   {562, 0, 10, -1},  // past the last row
      {202, 50, 10, 1},  {201, 50, 10, -1},  // a row scrolled under the header is not hit
      {230, 108, 10, 3}, {202, 0, 0, -1},
  };
  for (const RowCase& c : rowCases) {
    EXPECT_EQ(RowAt(c.y, c.offset, c.rows), c.row) << "y " << c.y << " offset " << c.offset;
  }

  const std::pair<int32_t, int> columnCases[] = {{-1, -1},  {0, 0},     {59, 0},   {60, 1},
                                                 {309, 1},  {310, 2},   {749, 4},  {750, 5},
                                                 {1149, 5}, {1150, -1}, {5000, -1}};
  for (auto [x, column] : columnCases) EXPECT_EQ(ColumnAt(x, kWidths), column) << x;

  struct BorderCase {
    int32_t x, y;
    const ColumnWidths& widths;
    int border;
  };
  constexpr ColumnWidths kNarrow = {30, 30, 30, 30, 30, 200};  // borders 30 60 90 120 150
  const BorderCase borderCases[] = {
      {52, 180, kWidths, 0},    {68, 180, kWidths, 0},    {51, 180, kWidths, -1},
      {69, 180, kWidths, -1},   {310, 160, kWidths, 1},   {310, 201, kWidths, 1},
      {310, 159, kWidths, -1},  {310, 202, kWidths, -1},  {758, 170, kWidths, 4},
      {1150, 180, kWidths, -1}, {1142, 180, kWidths, -1},  // Path's right edge
      {38, 180, kNarrow, 0},    {45, 180, kNarrow, -1},   {52, 180, kNarrow, 1},
      {158, 180, kNarrow, 4},   {350, 180, kNarrow, -1},
  };
  for (const BorderCase& c : borderCases) {
    EXPECT_EQ(HeaderBorderAt(c.x, c.y, c.widths), c.border) << c.x << ", " << c.y;
  }
}

TEST(ListGeometryTest, ScrollLimitsAndTheScrollBar) {
  // Client height 1000 leaves 798 pixels for rows: 22 whole rows.
  struct Case {
    uint64_t rows;
    int32_t height;
    int64_t limit;
  };
  const Case cases[] = {{0, 1000, 0},      {10, 1000, 0}, {22, 1000, 0}, {23, 1000, 30},
                        {100, 1000, 2802}, {5, 202, 180}, {5, 100, 180}, {5, 0, 180}};
  for (const Case& c : cases) {
    EXPECT_EQ(ScrollLimit(c.rows, c.height), c.limit) << c.rows << " rows, height " << c.height;
  }
  EXPECT_EQ(ClampScrollOffset(-50, 100, 1000), 0);
  EXPECT_EQ(ClampScrollOffset(100, 100, 1000), 100);
  EXPECT_EQ(ClampScrollOffset(5000, 100, 1000), 2802);
  EXPECT_EQ(ClampScrollOffset(2802, 30, 1000), 282) << "the list shrank";
  EXPECT_EQ(ClampScrollOffset(2802, 3, 1000), 0);

  struct BarCase {
    uint64_t rows;
    int64_t offset;
    int32_t height;
    int32_t max;
    uint32_t page;
    int32_t pos;
  };
  const BarCase bars[] = {{0, 0, 1000, 0, 22, 0},       {1, 0, 1000, 0, 22, 0},
                          {100, 360, 1000, 99, 22, 10}, {100, 395, 1000, 99, 22, 10},
                          {100, 0, 237, 99, 0, 0},      {100, 0, 238, 99, 1, 0},
                          {100, 0, 165, 99, 0, 0},  // shorter than the header band: no page
                          {100, 0, 0, 99, 0, 0}};
  for (const BarCase& c : bars) {
    const ScrollBarState bar = ScrollBarFor(c.rows, c.offset, c.height);
    EXPECT_EQ(bar.max, c.max) << c.rows << " rows, height " << c.height;
    EXPECT_EQ(bar.page, c.page) << c.rows << " rows, height " << c.height;
    EXPECT_EQ(bar.pos, c.pos) << c.rows << " rows, offset " << c.offset;
  }
}

TEST(ListGeometryTest, OffsetShowingRowMovesTheLeast) {
  struct Case {
    int64_t row, offset, expected;
  };
  const Case cases[] = {
      {5, 360, 180},  // above the view: its top goes to the top
      {5, 190, 180},  // partly above
      {30, 0, 318},   // below: its bottom goes to the bottom
      {22, 0, 30},    // partly below
      {21, 0, 0},     // inside: nothing moves
      {5, 100, 100},  // inside
      {99, 0, 2802},  // the last row
      {0, 2802, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OffsetShowingRow(c.row, c.offset, 100, 1000), c.expected) << "row " << c.row;
  }
}

TEST(ListGeometryTest, PaintedRowsCoverEveryVisibleRow) {
  EXPECT_EQ(RowsToPaint(0, 10, 160).end, 0u) << "nothing below the status line";
  const PaintRows shallow = RowsToPaint(10, 10, 170);
  EXPECT_LE(shallow.end - shallow.first, 2u);
  EXPECT_GE(shallow.firstTop, 170) << "drawn below the client area, so not visible";
  const PaintRows beyond = RowsToPaint(3600, 10, 1000);  // the list shrank under the offset
  EXPECT_EQ(beyond.first, beyond.end);

  std::mt19937 random(4242);
  for (int round = 0; round < 5000; ++round) {
    const int64_t offset = random() % 6000;
    const uint64_t rows = random() % 150;
    const int32_t height = int32_t(random() % 1200);
    const PaintRows paint = RowsToPaint(offset, rows, height);
    const auto where = ::testing::Message() << offset << ", " << rows << ", " << height;
    ASSERT_LE(paint.first, paint.end) << where;
    ASSERT_LE(paint.end, std::max<uint64_t>(paint.first, rows)) << where;
    if (height - 160 < 1) {
      ASSERT_EQ(paint.first, paint.end) << where;
      continue;
    }
    if (paint.first < paint.end) {
      ASSERT_EQ(paint.firstTop, 202 + 36 * int64_t(paint.first) - offset) << where;
      ASSERT_GT(paint.firstTop, 202 - 36) << where;
      ASSERT_LE(paint.firstTop, 202) << where;
      ASSERT_LE(paint.end - paint.first, uint64_t(std::max(0, height - 202) / 36 + 2)) << where;
    }
    for (uint64_t r = 0; r < rows; ++r) {
      const int64_t top = 202 + 36 * int64_t(r) - offset;
      const bool visible = top < height && top + 36 > 202;
      ASSERT_TRUE(!visible || (r >= paint.first && r < paint.end)) << where << " row " << r;
    }
  }
}

}  // namespace
}  // namespace qm
