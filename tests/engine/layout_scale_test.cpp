// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/layout_scale.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

namespace relabo {
namespace {

TEST(LayoutScale, FactorsComeFromTheDigitWidthAndTheLineHeight) {
  struct Case {
    const char* name;
    double digitWidth, lineHeight;
    double horizontal, vertical;
  };
  const Case cases[] = {
      {"the design font", 5, 13, 1, 1},   {"a wider font", 6.5, 15, 1.3, 15.0 / 13},
      {"twice the design", 10, 26, 2, 2}, {"a smaller font never shrinks the layout", 4, 11, 1, 1},
      {"only wider", 7.5, 12, 1.5, 1},    {"nothing measured", 0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LayoutScale scale = LayoutScale::FromMeasures(c.digitWidth, c.lineHeight);
    EXPECT_DOUBLE_EQ(scale.Horizontal(), c.horizontal);
    EXPECT_DOUBLE_EQ(scale.Vertical(), c.vertical);
  }
}

TEST(LayoutScale, UnitsAreRoundedToTheNearestPixel) {
  const LayoutScale scale(1.3, 1.5);
  struct Case {
    int units, x, y;
  };
  const Case cases[] = {{0, 0, 0}, {1, 1, 2}, {2, 3, 3}, {5, 7, 8}, {458, 595, 687}, {-4, -5, -6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.units);
    EXPECT_EQ(scale.X(c.units), c.x);
    EXPECT_EQ(scale.Y(c.units), c.y);
  }
  EXPECT_EQ(scale.Point(8, 24), QPoint(10, 36));
  EXPECT_EQ(scale.Size(75, 25), QSize(98, 38));
  EXPECT_EQ(LayoutScale().Rect(8, 48, 329, 23), QRect(8, 48, 329, 23));
}

TEST(LayoutScale, RectanglesThatTouchKeepTouching) {
  // The header buttons and columns of the main window lie edge to edge.
  for (const double factor : {1.0, 1.1, 1.27, 1.5, 1.9, 2.0, 2.37}) {
    SCOPED_TRACE(factor);
    const LayoutScale scale(factor, factor);
    const int lefts[] = {0, 256, 320, 368, 408, 457};
    for (size_t i = 0; i + 1 < std::size(lefts); ++i) {
      const QRect a = scale.Rect(lefts[i], 1, lefts[i + 1] - lefts[i], 19);
      const QRect b = scale.Rect(lefts[i + 1], 20, 10, 19);
      EXPECT_EQ(a.right() + 1, b.left());
      EXPECT_EQ(a.bottom() + 1, b.top());
    }
  }
}

TEST(LayoutScale, LargerFontsGiveLargerFactors) {
  double lastHorizontal = 0;
  double lastVertical = 0;
  for (const int points : {8, 10, 12, 16}) {
    SCOPED_TRACE(points);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(points);
    const LayoutScale scale = LayoutScale::ForFont(font);
    const QFontMetricsF metrics(font);
    EXPECT_GE(scale.X(5), metrics.horizontalAdvance(QStringLiteral("0")) - 0.5);
    EXPECT_GE(scale.Y(13), metrics.height() - 0.5);
    EXPECT_GE(scale.Horizontal(), lastHorizontal);
    EXPECT_GE(scale.Vertical(), lastVertical);
    lastHorizontal = scale.Horizontal();
    lastVertical = scale.Vertical();
  }
  EXPECT_GT(lastHorizontal, 1.5);
}

}  // namespace
}  // namespace relabo
