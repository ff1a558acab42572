// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/spin_edit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <algorithm>
#include <limits>
#include <string_view>

#include "engine/transform.h"

namespace relabo {

namespace {

// The text's integer with its sign (blanks before it allowed), held at +-2^40.
std::optional<int64_t> ParseWide(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  return ParseSaturatedInteger(text.substr(start));
}

std::optional<int64_t> ParseWide(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return ParseWide(std::string_view(bytes.constData(), size_t(bytes.size())));
}

}  // namespace

std::optional<int32_t> ParseFieldInteger(std::string_view text) {
  // A number beyond 32 bits counts as the nearest end of the range, so "99999999999" is a
  // large position, not the minimum.
  const std::optional<int64_t> value = ParseWide(text);
  if (!value) return std::nullopt;
  return int32_t(std::clamp<int64_t>(*value, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

TXSpinEdit::TXSpinEdit(int32_t minValue, int32_t maxValue, int32_t value, QWidget* parent)
    : QAbstractSpinBox(parent), m_minValue(minValue), m_maxValue(maxValue) {
  setAccelerated(false);
  setKeyboardTracking(true);
  SetValue(value);
}

int32_t TXSpinEdit::Value() const {
  const std::optional<int64_t> value = ParseWide(Text());
  return value ? int32_t(std::clamp<int64_t>(*value, std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max()))
               : m_minValue;
}

int32_t TXSpinEdit::Clamp(int64_t value) const {
  if (Bounded()) return int32_t(std::clamp<int64_t>(value, m_minValue, m_maxValue));
  return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

void TXSpinEdit::SetValue(int64_t value) { SetText(QString::number(Clamp(value))); }

QString TXSpinEdit::Text() const { return lineEdit()->text(); }

void TXSpinEdit::SetText(const QString& text) {
  if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void TXSpinEdit::stepBy(int steps) {
  SetValue(int64_t(Value()) + steps);
  selectAll();
}

QAbstractSpinBox::StepEnabled TXSpinEdit::stepEnabled() const {
  if (isReadOnly()) return StepNone;
  if (!Bounded()) return StepUpEnabled | StepDownEnabled;
  const int32_t value = Value();
  StepEnabled enabled = StepNone;
  if (value < m_maxValue) enabled |= StepUpEnabled;
  if (value > m_minValue) enabled |= StepDownEnabled;
  return enabled;
}

QValidator::State TXSpinEdit::validate(QString& input, int& /*pos*/) const {
  // Digits and signs in any order: a text that is no number reads as the minimum.
  for (const QChar c : input) {
    if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-') return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

void TXSpinEdit::fixup(QString& /*input*/) const {}

QSize TXSpinEdit::sizeHint() const {
  // The base class asks a private hook for the widest text, which this class does not have.
  const QSize base = QAbstractSpinBox::sizeHint();
  return QSize(std::max(base.width(), 60), base.height());
}

bool TXSpinEdit::ShowsUsedValue() const {
  const std::optional<int64_t> value = ParseWide(Text());
  return value && *value == ClampedValue();
}

void TXSpinEdit::focusOutEvent(QFocusEvent* event) {
  // Once left, the field shows the value a command takes from it ("007" stays as typed).
  if (!ShowsUsedValue()) SetValue(ClampedValue());
  QAbstractSpinBox::focusOutEvent(event);
}

}  // namespace relabo
