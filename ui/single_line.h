// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace relabo {

/// The text with every control character (U+0000-U+001F, U+007F-U+009F: line breaks, tabs,
/// escapes) replaced by a blank. A one-line field would show such a character as a blank, or
/// not at all, while it still reached a file name.
QString BlankControlCharacters(QString text);

/// Keeps a one-line field free of control characters, whether typed, pasted or set: they turn
/// into visible blanks before they reach the field's text.
class TSingleLineValidator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;

  State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
};

/// Gives the field a TSingleLineValidator of its own.
void MakeSingleLine(QLineEdit* edit);

}  // namespace relabo
