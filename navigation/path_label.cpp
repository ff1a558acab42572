// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/path_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <string>
#include <string_view>

#include "navigation/path_shortening.h"

namespace relabo {

TXPathLabel::TXPathLabel(QWidget* parent) : QFrame(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TXPathLabel::SetCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  CaptionOrFontChanged();
}

void TXPathLabel::SetAlignment(Qt::Alignment alignment) {
  alignment &= Qt::AlignHorizontal_Mask;
  if (alignment == m_alignment) return;
  m_alignment = alignment;
  update();
}

void TXPathLabel::SetWordWrap(bool wordWrap) {
  if (wordWrap == m_wordWrap) return;
  m_wordWrap = wordWrap;
  update();
}

void TXPathLabel::SetTransparent(bool transparent) {
  if (transparent == m_transparent) return;
  m_transparent = transparent;
  update();
}

void TXPathLabel::SetAutoSize(bool autoSize) {
  if (autoSize == m_autoSize) return;
  m_autoSize = autoSize;
  CaptionOrFontChanged();
}

QString TXPathLabel::ShownText() const {
  const QFontMetrics metrics(font());
  const std::string shown = ShortenPath(
      m_caption.toStdString(),
      [&metrics](std::string_view s) {
        return metrics.horizontalAdvance(QString::fromUtf8(s.data(), qsizetype(s.size())));
      },
      contentsRect().width());
  return QString::fromStdString(shown);
}

QSize TXPathLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  const QMargins frame = contentsMargins();
  return QSize(metrics.horizontalAdvance(m_caption) + frame.left() + frame.right(),
               metrics.height() + frame.top() + frame.bottom());
}

QSize TXPathLabel::minimumSizeHint() const {
  const QMargins frame = contentsMargins();
  return QSize(frame.left() + frame.right(),
               QFontMetrics(font()).height() + frame.top() + frame.bottom());
}

void TXPathLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  const QRect area = contentsRect();
  if (!m_transparent) painter.fillRect(area, palette().color(backgroundRole()));

  const QString shown = ShownText();
  const int flags =
      Qt::TextExpandTabs | Qt::AlignTop | int(m_alignment) | (m_wordWrap ? Qt::TextWordWrap : 0);
  painter.setFont(font());
  if (isEnabled()) {
    painter.setPen(palette().color(foregroundRole()));
  } else {
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(area.translated(1, 1), flags, shown);
    painter.setPen(palette().color(QPalette::Dark));
  }
  painter.drawText(area, flags, shown);
}

void TXPathLabel::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange) CaptionOrFontChanged();
}

void TXPathLabel::mouseReleaseEvent(QMouseEvent* event) {
  QFrame::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Q_EMIT Clicked();
  }
}

void TXPathLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  QFrame::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) Q_EMIT DoubleClicked();
}

void TXPathLabel::CaptionOrFontChanged() {
  updateGeometry();
  if (m_autoSize) resize(sizeHint());
  update();
}

}  // namespace relabo
