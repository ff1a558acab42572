// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/elided_label.h"

#include <QPainter>
#include <QStyle>
#include <string>

#include "filelist/presentation.h"

namespace relabo {

QRect TElidedLabel::TextRect() const {
  const int indent = std::max(0, this->indent());
  return contentsRect().adjusted(indent, 0, 0, 0);
}

QString TElidedLabel::ShownText() const {
  const QFontMetrics metrics = fontMetrics();
  const QByteArray whole = text().toUtf8();
  const std::string shown = FitText(
      std::string_view(whole.constData(), size_t(whole.size())),
      [&metrics](std::string_view part) {
        return metrics.horizontalAdvance(QString::fromUtf8(part.data(), qsizetype(part.size())));
      },
      TextRect().width());
  return QString::fromStdString(shown);
}

QSize TElidedLabel::minimumSizeHint() const {
  // As narrow as the layout likes: the text shortens itself.
  return QSize(0, QLabel::minimumSizeHint().height());
}

void TElidedLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(TextRect(), int(alignment()) | Qt::TextSingleLine, ShownText());
}

}  // namespace relabo
