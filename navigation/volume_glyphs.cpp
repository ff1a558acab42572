// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/volume_glyphs.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

// The resources of a static library must be registered by hand, outside any namespace.
static void InitVolumeGlyphResources() { Q_INIT_RESOURCE(volume_glyphs); }

namespace relabo {

namespace {

constexpr const char* kGlyphFiles[] = {
    ":/navigation/volume_removable.svg", ":/navigation/volume_fixed.svg",
    ":/navigation/volume_network.svg",   ":/navigation/volume_optical.svg",
    ":/navigation/volume_ram.svg",
};

QIcon RenderGlyph(const char* file) {
  QSvgRenderer renderer{QString::fromLatin1(file)};
  QIcon icon;
  if (!renderer.isValid()) return icon;
  // Drawn at each size a 16-pixel glyph needs on 1x, 2x and 3x screens.
  for (const int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon VolumeGlyph(VolumeKind kind) {
  static const std::array<QIcon, 5> glyphs = [] {
    InitVolumeGlyphResources();
    std::array<QIcon, 5> loaded;
    for (size_t i = 0; i < loaded.size(); ++i) loaded[i] = RenderGlyph(kGlyphFiles[i]);
    return loaded;
  }();
  const auto row = size_t(kind);
  return row < glyphs.size() ? glyphs[row] : QIcon();
}

}  // namespace relabo
