// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QFont>

namespace relabo::test {

/// Sets the application font (DejaVu Sans at a size) for one scope and puts the old one back.
class ApplicationFont {
 public:
  explicit ApplicationFont(int points, int wordSpacing = 0) : m_saved(QApplication::font()) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(points);
    font.setWordSpacing(wordSpacing);
    QApplication::setFont(font);
  }
  ~ApplicationFont() { QApplication::setFont(m_saved); }
  ApplicationFont(const ApplicationFont&) = delete;
  ApplicationFont& operator=(const ApplicationFont&) = delete;

 private:
  QFont m_saved;
};

}  // namespace relabo::test
