// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/glyph_set.h"

#include <QImage>
#include <QPainter>
#include <cmath>

#include "filelist/entry.h"

// Resources of a static library are registered by hand.
static void InitGlyphResources() { Q_INIT_RESOURCE(glyphs); }

namespace relabo {

namespace {

// In code order: kGlyphDefault (-3) first, kGlyphShortcut (-14) last.
constexpr const char* kNames[12] = {"default",      "defaulthidden", "folder",       "folderopen",
                                    "folderparent", "foldershared",  "foldersystem", "exedos",
                                    "exewin",       "compress",      "compressopen", "shortcut"};

int SlotOf(int32_t code) { return -code - 3; }

}  // namespace

GlyphSet::GlyphSet() {
  InitGlyphResources();
  for (size_t i = 0; i < m_renderers.size(); ++i) {
    m_renderers[i] = std::make_unique<QSvgRenderer>(
        QStringLiteral(":/relabo/glyphs/%1.svg").arg(QLatin1String(kNames[i])));
  }
}

bool GlyphSet::IsBuiltIn(int32_t code) { return code <= kGlyphDefault && code >= kGlyphShortcut; }

QPixmap GlyphSet::Pixmap(int32_t code, int size, qreal devicePixelRatio) const {
  if (!IsBuiltIn(code) || size <= 0) return {};
  const int ratio = static_cast<int>(std::lround(devicePixelRatio * 100));
  QPixmap& pixmap = m_pixmaps[{code, size, ratio}];
  if (pixmap.isNull()) {
    const int device = static_cast<int>(std::lround(size * devicePixelRatio));
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    m_renderers[SlotOf(code)]->render(&painter, QRectF(0, 0, device, device));
    painter.end();
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
  }
  return pixmap;
}

}  // namespace relabo
