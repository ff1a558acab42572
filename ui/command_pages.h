// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QStackedWidget>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "engine/layout_scale.h"
#include "engine/transform.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace relabo {

class TXSpinEdit;

/// The names of the eight commands, by command index ("Insert / Add String" ... "Copy Files").
extern const std::array<const char*, kCommandCount> kCommandNames;
/// The six orders of name, separator and counter of Rename Files and Copy Files.
extern const std::array<const char*, 6> kSchemeNames;

/// A titled group of exclusive choices, laid out in columns. ItemIndex -1 means no choice.
class TXRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TXRadioGroup(const QString& title, const QStringList& items, int columns,
               QWidget* parent = nullptr);

  int ItemIndex() const;
  /// An index above the last choice selects the last one; below -1 it means no choice.
  void SetItemIndex(int index);
  int Count() const { return static_cast<int>(m_buttons.size()); }
  QRadioButton* Button(int index) const { return m_buttons.at(size_t(index)); }

 Q_SIGNALS:
  /// The user picked a choice.
  void Clicked(int index);

 private:
  QButtonGroup* m_group;
  std::vector<QRadioButton*> m_buttons;
};

/// The notebook of the eight command pages; the page index is the command index. Each page
/// holds the parameters of its command; every control carries its parameter's name as its
/// object name.
class TCommandPages : public QStackedWidget {
  Q_OBJECT

 public:
  explicit TCommandPages(QWidget* parent = nullptr);

  /// The values of every page's controls. Number fields give their value as they read it;
  /// CopyNumber is held within 1..10000000, since a batch needs at least one copy.
  CommandParameters Parameters() const;
  /// Sets every control (number fields clamp, choices take the group's rules).
  void SetParameters(const CommandParameters& params);

  /// Shows the "From position:" field of Remove String only for its third choice.
  void RemoveFromClick();

  // The controls, named as their parameters.
  QLineEdit* InsertString() const { return m_insertString; }
  TXSpinEdit* InsertFrom() const { return m_insertFrom; }
  TXRadioGroup* RemoveFrom() const { return m_removeFrom; }
  TXSpinEdit* RemoveNumber() const { return m_removeNumber; }
  QLabel* RemovePositionLabel() const { return m_removePositionLabel; }
  TXSpinEdit* RemovePosition() const { return m_removePosition; }
  QLineEdit* ReplaceOrigString() const { return m_replaceOrigString; }
  QLineEdit* ReplaceNewString() const { return m_replaceNewString; }
  QCheckBox* ReplaceRegex() const { return m_replaceRegex; }
  QLineEdit* ChangeString() const { return m_changeString; }
  TXSpinEdit* ChangeFrom() const { return m_changeFrom; }
  TXRadioGroup* ChangeCaseMode() const { return m_changeCaseMode; }
  QLineEdit* ChangeCaseSeparator() const { return m_changeCaseSeparator; }
  TXSpinEdit* ChangeNumberWhich() const { return m_changeNumberWhich; }
  TXSpinEdit* ChangeNumberPlus() const { return m_changeNumberPlus; }
  QLineEdit* RenameName() const { return m_renameName; }
  QLineEdit* RenameSeparator() const { return m_renameSeparator; }
  QComboBox* RenameScheme() const { return m_renameScheme; }
  TXSpinEdit* RenameStart() const { return m_renameStart; }
  TXSpinEdit* RenameStep() const { return m_renameStep; }
  TXSpinEdit* RenameDigits() const { return m_renameDigits; }
  TXSpinEdit* CopyNumber() const { return m_copyNumber; }
  QLineEdit* CopySeparator() const { return m_copySeparator; }
  QComboBox* CopyScheme() const { return m_copyScheme; }
  TXSpinEdit* CopyStart() const { return m_copyStart; }
  TXSpinEdit* CopyStep() const { return m_copyStep; }
  TXSpinEdit* CopyDigits() const { return m_copyDigits; }

 Q_SIGNALS:
  /// A field, choice or scheme of any page changed, typed or set (each keystroke).
  void Changed();

 private:
  // Design units to pixels, measured from the pages' font.
  LayoutScale m_scale;
  QWidget* AddPage(const char* name);

  QLineEdit* m_insertString;
  TXSpinEdit* m_insertFrom;
  TXRadioGroup* m_removeFrom;
  TXSpinEdit* m_removeNumber;
  QLabel* m_removePositionLabel;
  TXSpinEdit* m_removePosition;
  QLineEdit* m_replaceOrigString;
  QLineEdit* m_replaceNewString;
  QCheckBox* m_replaceRegex;
  QLineEdit* m_changeString;
  TXSpinEdit* m_changeFrom;
  TXRadioGroup* m_changeCaseMode;
  QLineEdit* m_changeCaseSeparator;
  TXSpinEdit* m_changeNumberWhich;
  TXSpinEdit* m_changeNumberPlus;
  QLineEdit* m_renameName;
  QLineEdit* m_renameSeparator;
  QComboBox* m_renameScheme;
  TXSpinEdit* m_renameStart;
  TXSpinEdit* m_renameStep;
  TXSpinEdit* m_renameDigits;
  TXSpinEdit* m_copyNumber;
  QLineEdit* m_copySeparator;
  QComboBox* m_copyScheme;
  TXSpinEdit* m_copyStart;
  TXSpinEdit* m_copyStep;
  TXSpinEdit* m_copyDigits;
};

}  // namespace relabo
