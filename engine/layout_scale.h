// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace relabo {

/// Turns the layout's design units (the pixels of a 96 dpi layout in an 8 pt font) into the
/// pixels of the font in use: horizontally by its average digit width against 5 px,
/// vertically by its line height against 13 px, each factor at least 1. Every position and
/// size of the program's windows goes through one of these.
class LayoutScale {
 public:
  /// The design units as pixels (both factors 1).
  LayoutScale() = default;
  /// Factors below 1 count as 1.
  LayoutScale(double horizontal, double vertical);
  /// The factors of a font whose ten digits average digitWidth pixels and whose lines are
  /// lineHeight pixels high.
  static LayoutScale FromMeasures(double digitWidth, double lineHeight);
  /// The factors measured from a font.
  static LayoutScale ForFont(const QFont& font);

  double Horizontal() const { return m_horizontal; }
  double Vertical() const { return m_vertical; }

  /// A horizontal position or width, rounded to the nearest pixel.
  int X(int units) const;
  /// A vertical position or height, rounded to the nearest pixel.
  int Y(int units) const;
  QPoint Point(int x, int y) const { return QPoint(X(x), Y(y)); }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
  /// Both edges are scaled, so rectangles that touch in design units touch in pixels too.
  QRect Rect(int x, int y, int width, int height) const;

  bool operator==(const LayoutScale&) const = default;

 private:
  double m_horizontal = 1;
  double m_vertical = 1;
};

}  // namespace relabo
