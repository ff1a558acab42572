// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/single_line.h"

#include <QLineEdit>

namespace relabo {

QString BlankControlCharacters(QString text) {
  for (QChar& c : text) {
    if (c.category() == QChar::Other_Control) c = u' ';
  }
  return text;
}

QValidator::State TSingleLineValidator::validate(QString& input, int& /*pos*/) const {
  // The line edit takes the changed text (a blank for a blank, so the cursor stays put).
  input = BlankControlCharacters(std::move(input));
  return Acceptable;
}

void TSingleLineValidator::fixup(QString& input) const {
  input = BlankControlCharacters(std::move(input));
}

void MakeSingleLine(QLineEdit* edit) { edit->setValidator(new TSingleLineValidator(edit)); }

}  // namespace relabo
