// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QSvgRenderer>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <tuple>

namespace relabo {

/// The twelve built-in glyphs of the file list (codes kGlyphDefault down to kGlyphShortcut),
/// drawn from vector artwork at any size and pixel density.
class GlyphSet {
 public:
  GlyphSet();

  static bool IsBuiltIn(int32_t code);
  /// The glyph as a square pixmap of size device-independent pixels; null for another code.
  QPixmap Pixmap(int32_t code, int size, qreal devicePixelRatio) const;

 private:
  std::array<std::unique_ptr<QSvgRenderer>, 12> m_renderers;
  // Rendered pixmaps by (code, size, ratio in hundredths).
  mutable std::map<std::tuple<int32_t, int, int>, QPixmap> m_pixmaps;
};

}  // namespace relabo
