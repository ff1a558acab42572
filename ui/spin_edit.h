// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractSpinBox>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

namespace relabo {

/// A decimal integer as the number fields read it: optional blanks, an optional sign, digits,
/// nothing after; a number beyond 32 bits is held at the nearest end. Empty otherwise.
std::optional<int32_t> ParseFieldInteger(std::string_view text);

/// A number field with arrows. Its value is its text read as a decimal integer, or the minimum
/// when the text is not one; the text may hold any digits and signs while the user types. What
/// a command uses is ClampedValue, the value brought into the range, and that is what the field
/// shows once it loses the focus (a text such as "007" that already reads as it stays). A field
/// whose minimum and maximum are both 0 has no bounds. The arrows step by 1.
class TXSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  TXSpinEdit(int32_t minValue, int32_t maxValue, int32_t value, QWidget* parent = nullptr);

  int32_t MinValue() const { return m_minValue; }
  int32_t MaxValue() const { return m_maxValue; }
  /// True unless minimum and maximum are both 0.
  bool Bounded() const { return m_minValue != 0 || m_maxValue != 0; }

  /// The text read as an integer, or MinValue when it is not one (not clamped).
  int32_t Value() const;
  /// Writes the value, clamped to the range, as the text.
  void SetValue(int64_t value);
  /// The text as typed ("007", "", "-").
  QString Text() const;
  void SetText(const QString& text);

  /// The value held within the range: what a command uses, and what the field shows after
  /// losing the focus.
  int32_t ClampedValue() const { return Clamp(Value()); }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  QSize sizeHint() const override;

 protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int32_t Clamp(int64_t value) const;
  /// True when the text reads exactly as ClampedValue, so leaving the field need not rewrite it.
  bool ShowsUsedValue() const;

  int32_t m_minValue;
  int32_t m_maxValue;
};

}  // namespace relabo
