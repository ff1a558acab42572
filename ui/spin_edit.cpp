#include "ui/spin_edit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <algorithm>
#include <charconv>
#include <limits>

namespace relabo {

std::optional<int32_t> ParseFieldInteger(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  text.remove_prefix(start);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Parsed as unsigned so that "-2147483648" is accepted and a sign after the sign is not.
  uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const int64_t value = negative ? -int64_t(magnitude) : int64_t(magnitude);
  if (magnitude > uint64_t(std::numeric_limits<int32_t>::max()) + 1 ||
      value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return int32_t(value);
}

TXSpinEdit::TXSpinEdit(int32_t minValue, int32_t maxValue, int32_t value, QWidget* parent)
    : QAbstractSpinBox(parent), m_minValue(minValue), m_maxValue(maxValue) {
  setAccelerated(false);
  setKeyboardTracking(true);
  SetValue(value);
}

int32_t TXSpinEdit::Value() const {
  const QByteArray text = Text().toLatin1();
  return ParseFieldInteger(std::string_view(text.constData(), size_t(text.size())))
      .value_or(m_minValue);
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

void TXSpinEdit::focusOutEvent(QFocusEvent* event) {
  const int32_t value = Value();
  if (Clamp(value) != value) SetValue(value);
  QAbstractSpinBox::focusOutEvent(event);
}

}  // namespace relabo
