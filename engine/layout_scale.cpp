// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/layout_scale.h"

#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

namespace relabo {

namespace {

// The font the design units were laid out for: digits 5 px wide, lines 13 px high.
constexpr double kDesignDigitWidth = 5;
constexpr double kDesignLineHeight = 13;

int Scaled(int units, double factor) { return static_cast<int>(std::lround(units * factor)); }

}  // namespace

LayoutScale::LayoutScale(double horizontal, double vertical)
    : m_horizontal(std::max(1.0, horizontal)), m_vertical(std::max(1.0, vertical)) {}

LayoutScale LayoutScale::FromMeasures(double digitWidth, double lineHeight) {
  return LayoutScale(digitWidth / kDesignDigitWidth, lineHeight / kDesignLineHeight);
}

LayoutScale LayoutScale::ForFont(const QFont& font) {
  const QFontMetricsF metrics(font);
  return FromMeasures(metrics.horizontalAdvance(QStringLiteral("0123456789")) / 10,
                      metrics.height());
}

int LayoutScale::X(int units) const { return Scaled(units, m_horizontal); }

int LayoutScale::Y(int units) const { return Scaled(units, m_vertical); }

QRect LayoutScale::Rect(int x, int y, int width, int height) const {
  const int left = X(x);
  const int top = Y(y);
  return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace relabo
