// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>

namespace relabo {

/// A one-line label that, when its text is wider than the label, shows the text's beginning
/// followed by "...", as the file list shortens names. text() stays the whole text.
class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

  /// The text as drawn in the label's present width.
  QString ShownText() const;

  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextRect() const;
};

}  // namespace relabo
