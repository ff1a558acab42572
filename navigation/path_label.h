// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>
#include <QString>

namespace relabo {

/// A one-line label for a folder path: a caption too wide for the label is shown shortened
/// from the left, folder by folder ("/.../photos/2024/*.*"), keeping its last component.
/// The caption itself is never changed. A disabled label draws its text embossed.
class TXPathLabel : public QFrame {
  Q_OBJECT

 public:
  explicit TXPathLabel(QWidget* parent = nullptr);

  /// The full, unshortened text.
  const QString& Caption() const { return m_caption; }
  void SetCaption(const QString& caption);

  /// Horizontal alignment of the text: Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter.
  Qt::Alignment Alignment() const { return m_alignment; }
  void SetAlignment(Qt::Alignment alignment);

  /// A text that is still too wide after shortening may wrap at blanks.
  bool WordWrap() const { return m_wordWrap; }
  void SetWordWrap(bool wordWrap);

  /// When false (the default) the background is filled with the palette's window colour.
  bool Transparent() const { return m_transparent; }
  void SetTransparent(bool transparent);

  /// When true the label takes the size of its whole caption; false by default.
  bool AutoSize() const { return m_autoSize; }
  void SetAutoSize(bool autoSize);

  /// Kept for the caller; "&" is always drawn as it stands.
  bool ShowAccelChar() const { return m_showAccelChar; }
  void SetShowAccelChar(bool show) { m_showAccelChar = show; }

  /// The caption as painted at the label's present width and font.
  QString ShownText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 Q_SIGNALS:
  void Clicked();
  void DoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void CaptionOrFontChanged();

  QString m_caption;
  Qt::Alignment m_alignment = Qt::AlignLeft;
  bool m_wordWrap = false;
  bool m_transparent = false;
  bool m_autoSize = false;
  bool m_showAccelChar = false;
};

}  // namespace relabo
