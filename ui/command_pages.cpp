// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/command_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

#include "engine/batch.h"
#include "engine/layout_scale.h"
#include "ui/single_line.h"
#include "ui/spin_edit.h"

namespace relabo {

const std::array<const char*, kCommandCount> kCommandNames = {
    "Insert / Add String", "Remove String", "Replace String", "Change String",
    "Change Case",         "Change Number", "Rename Files",   "Copy Files",
};

const std::array<const char*, 6> kSchemeNames = {
    "Name, separator, counter", "Name, counter, separator", "Separator, name, counter",
    "Separator, counter, name", "Counter, name, separator", "Counter, separator, name",
};

namespace {

constexpr int kMaxPosition = 1000000000;
constexpr int kFieldWidth = 90;
constexpr int kTextWidth = 170;
constexpr int kShortTextWidth = 50;

std::string ToStd(const QString& text) { return text.toStdString(); }
QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QLabel* AddLabel(QGridLayout* grid, const char* text, int row, int column) {
  auto* label = new QLabel(QString::fromUtf8(text));
  grid->addWidget(label, row, column);
  return label;
}

QLineEdit* MakeEdit(const char* name, int width) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(name));
  MakeSingleLine(edit);
  edit->setFixedWidth(width);
  return edit;
}

TXSpinEdit* MakeSpin(const char* name, int32_t min, int32_t max, int32_t value, int width) {
  auto* spin = new TXSpinEdit(min, max, value);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setFixedWidth(width);
  return spin;
}

QComboBox* MakeSchemeBox(const char* name) {
  auto* box = new QComboBox;
  box->setObjectName(QString::fromLatin1(name));
  for (const char* scheme : kSchemeNames) box->addItem(QString::fromLatin1(scheme));
  box->setCurrentIndex(0);
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

QGridLayout* PageGrid(const LayoutScale& s) {
  auto* grid = new QGridLayout;
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(s.X(6));
  grid->setVerticalSpacing(s.Y(4));
  return grid;
}

// Puts the page's parts side by side at its top left; what is left stays empty.
void FillPage(QWidget* page, const LayoutScale& s, std::initializer_list<QLayout*> parts) {
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(s.X(8), s.Y(6), s.X(8), s.Y(4));
  row->setSpacing(s.X(12));
  for (QLayout* part : parts) row->addLayout(part);
  row->addStretch(1);
}

QLayout* Top(QLayout* layout) {
  auto* column = new QVBoxLayout;
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(layout);
  column->addStretch(1);
  return column;
}

QLayout* Top(QWidget* widget) {
  auto* column = new QVBoxLayout;
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(widget);
  column->addStretch(1);
  return column;
}

// The "Counter" group of Rename Files and Copy Files.
QGroupBox* CounterGroup(const LayoutScale& s, TXSpinEdit* start, TXSpinEdit* step,
                        TXSpinEdit* digits) {
  auto* group = new QGroupBox(QStringLiteral("Counter"));
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(s.X(6), s.Y(2), s.X(6), s.Y(4));
  grid->setHorizontalSpacing(s.X(6));
  grid->setVerticalSpacing(s.Y(2));
  AddLabel(grid, "Start at:", 0, 0);
  grid->addWidget(start, 0, 1);
  AddLabel(grid, "Step:", 1, 0);
  grid->addWidget(step, 1, 1);
  AddLabel(grid, "Digits:", 2, 0);
  grid->addWidget(digits, 2, 1);
  return group;
}

}  // namespace

TXRadioGroup::TXRadioGroup(const QString& title, const QStringList& items, int columns,
                           QWidget* parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this)) {
  const LayoutScale s = LayoutScale::ForFont(font());
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(s.X(6), s.Y(2), s.X(6), s.Y(2));
  grid->setHorizontalSpacing(s.X(10));
  grid->setVerticalSpacing(0);
  const int rows = (int(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    m_group->addButton(button, i);
    m_buttons.push_back(button);
    grid->addWidget(button, i % rows, i / rows);
  }
  connect(m_group, &QButtonGroup::idClicked, this, &TXRadioGroup::Clicked);
}

int TXRadioGroup::ItemIndex() const { return m_group->checkedId(); }

void TXRadioGroup::SetItemIndex(int index) {
  index = std::clamp(index, -1, Count() - 1);
  if (index >= 0) {
    m_buttons[size_t(index)]->setChecked(true);
    return;
  }
  // An exclusive group refuses to uncheck its checked button.
  m_group->setExclusive(false);
  for (QRadioButton* button : m_buttons) button->setChecked(false);
  m_group->setExclusive(true);
}

TCommandPages::TCommandPages(QWidget* parent)
    : QStackedWidget(parent), m_scale(LayoutScale::ForFont(font())) {
  const CommandParameters initial;

  {  // 0: Insert / Add String
    QWidget* page = AddPage("InsertAddStringPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "String:", 0, 0);
    m_insertString = MakeEdit("InsertString", m_scale.X(2 * kTextWidth));
    grid->addWidget(m_insertString, 0, 1, 1, 2);
    AddLabel(grid, "From position:", 1, 0);
    m_insertFrom =
        MakeSpin("InsertFrom", 0, kMaxPosition, initial.InsertFrom, m_scale.X(kFieldWidth));
    grid->addWidget(m_insertFrom, 1, 1);
    AddLabel(grid, "(0 adds string to the end)", 1, 2);
    FillPage(page, m_scale, {Top(grid)});
  }
  {  // 1: Remove String
    QWidget* page = AddPage("RemoveStringPage");
    m_removeFrom = new TXRadioGroup(QStringLiteral("Start from"),
                                    {QStringLiteral("begin"), QStringLiteral("end"),
                                     QStringLiteral("position (relatively to begin)")},
                                    1);
    m_removeFrom->setObjectName(QStringLiteral("RemoveFrom"));
    m_removeFrom->SetItemIndex(initial.RemoveFrom);
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "Characters:", 0, 0);
    m_removeNumber = MakeSpin("RemoveNumber", 1, 256, initial.RemoveNumber, m_scale.X(kFieldWidth));
    grid->addWidget(m_removeNumber, 0, 1);
    m_removePositionLabel = AddLabel(grid, "From position:", 1, 0);
    m_removePositionLabel->setObjectName(QStringLiteral("RemovePositionLabel"));
    m_removePosition =
        MakeSpin("RemovePosition", 1, 256, initial.RemovePosition, m_scale.X(kFieldWidth));
    grid->addWidget(m_removePosition, 1, 1);
    // The hidden field keeps its place, so the other field does not move.
    for (QWidget* w :
         {static_cast<QWidget*>(m_removePositionLabel), static_cast<QWidget*>(m_removePosition)}) {
      QSizePolicy policy = w->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      w->setSizePolicy(policy);
    }
    FillPage(page, m_scale, {Top(m_removeFrom), Top(grid)});
    connect(m_removeFrom, &TXRadioGroup::Clicked, this, &TCommandPages::RemoveFromClick);
  }
  {  // 2: Replace String
    QWidget* page = AddPage("ReplaceStringPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "Original string:", 0, 0);
    m_replaceOrigString = MakeEdit("ReplaceOrigString", m_scale.X(2 * kTextWidth));
    grid->addWidget(m_replaceOrigString, 0, 1);
    AddLabel(grid, "New string:", 1, 0);
    m_replaceNewString = MakeEdit("ReplaceNewString", m_scale.X(2 * kTextWidth));
    grid->addWidget(m_replaceNewString, 1, 1);
    // Below the two fields, in line with them.
    m_replaceRegex = new QCheckBox(QStringLiteral("Regular expression"));
    m_replaceRegex->setObjectName(QStringLiteral("ReplaceRegex"));
    m_replaceRegex->setChecked(initial.ReplaceRegex);
    grid->addWidget(m_replaceRegex, 2, 1);
    FillPage(page, m_scale, {Top(grid)});
  }
  {  // 3: Change String
    QWidget* page = AddPage("ChangeStringPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "String:", 0, 0);
    m_changeString = MakeEdit("ChangeString", m_scale.X(2 * kTextWidth));
    grid->addWidget(m_changeString, 0, 1, 1, 2);
    AddLabel(grid, "From position:", 1, 0);
    m_changeFrom =
        MakeSpin("ChangeFrom", 1, kMaxPosition, initial.ChangeFrom, m_scale.X(kFieldWidth));
    grid->addWidget(m_changeFrom, 1, 1);
    grid->setColumnStretch(2, 1);
    FillPage(page, m_scale, {Top(grid)});
  }
  {  // 4: Change Case
    QWidget* page = AddPage("ChangeCasePage");
    m_changeCaseMode = new TXRadioGroup(
        QStringLiteral("Mode"),
        {QStringLiteral("All First Characters Big"), QStringLiteral("Only first character big"),
         QStringLiteral("all characters small"), QStringLiteral("ALL CHARACTERS BIG")},
        2);
    m_changeCaseMode->setObjectName(QStringLiteral("ChangeCaseMode"));
    m_changeCaseMode->SetItemIndex(initial.ChangeCaseMode);
    // The label stands above its field, so the four choices keep their width.
    QGridLayout* grid = PageGrid(m_scale);
    grid->setContentsMargins(0, m_scale.Y(6), 0, 0);
    AddLabel(grid, "Separator:", 0, 0);
    m_changeCaseSeparator = MakeEdit("ChangeCaseSeparator", m_scale.X(kShortTextWidth));
    m_changeCaseSeparator->setText(FromStd(initial.ChangeCaseSeparator));
    grid->addWidget(m_changeCaseSeparator, 1, 0);
    FillPage(page, m_scale, {Top(m_changeCaseMode), Top(grid)});
  }
  {  // 5: Change Number
    QWidget* page = AddPage("ChangeNumberPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "Which number:", 0, 0);
    m_changeNumberWhich = MakeSpin("ChangeNumberWhich", 1, kMaxPosition, initial.ChangeNumberWhich,
                                   m_scale.X(kFieldWidth));
    grid->addWidget(m_changeNumberWhich, 0, 1);
    AddLabel(grid, "Plus:", 1, 0);
    m_changeNumberPlus =
        MakeSpin("ChangeNumberPlus", 0, 0, initial.ChangeNumberPlus, m_scale.X(kFieldWidth));
    grid->addWidget(m_changeNumberPlus, 1, 1);
    FillPage(page, m_scale, {Top(grid)});
  }
  {  // 6: Rename Files
    QWidget* page = AddPage("RenameFilesPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "Name:", 0, 0);
    m_renameName = MakeEdit("RenameName", m_scale.X(kTextWidth));
    grid->addWidget(m_renameName, 0, 1);
    AddLabel(grid, "Separator:", 1, 0);
    m_renameSeparator = MakeEdit("RenameSeparator", m_scale.X(kShortTextWidth));
    grid->addWidget(m_renameSeparator, 1, 1);
    AddLabel(grid, "Scheme:", 2, 0);
    m_renameScheme = MakeSchemeBox("RenameScheme");
    grid->addWidget(m_renameScheme, 2, 1);
    m_renameStart =
        MakeSpin("RenameStart", 0, kMaxPosition, initial.RenameStart, m_scale.X(kFieldWidth));
    m_renameStep = MakeSpin("RenameStep", 0, 0, initial.RenameStep, m_scale.X(kFieldWidth));
    m_renameDigits = MakeSpin("RenameDigits", 1, 100, initial.RenameDigits, m_scale.X(kFieldWidth));
    FillPage(page, m_scale,
             {Top(grid), Top(CounterGroup(m_scale, m_renameStart, m_renameStep, m_renameDigits))});
  }
  {  // 7: Copy Files
    QWidget* page = AddPage("CopyFilesPage");
    QGridLayout* grid = PageGrid(m_scale);
    AddLabel(grid, "No. of coppies:", 0, 0);
    m_copyNumber =
        MakeSpin("CopyNumber", 1, kMaxCopyNumber, initial.CopyNumber, m_scale.X(kFieldWidth));
    grid->addWidget(m_copyNumber, 0, 1);
    AddLabel(grid, "Separator:", 1, 0);
    m_copySeparator = MakeEdit("CopySeparator", m_scale.X(kShortTextWidth));
    grid->addWidget(m_copySeparator, 1, 1);
    AddLabel(grid, "Scheme:", 2, 0);
    m_copyScheme = MakeSchemeBox("CopyScheme");
    grid->addWidget(m_copyScheme, 2, 1);
    m_copyStart = MakeSpin("CopyStart", 0, kMaxPosition, initial.CopyStart, m_scale.X(kFieldWidth));
    m_copyStep = MakeSpin("CopyStep", 0, 0, initial.CopyStep, m_scale.X(kFieldWidth));
    m_copyDigits = MakeSpin("CopyDigits", 1, 100, initial.CopyDigits, m_scale.X(kFieldWidth));
    FillPage(page, m_scale,
             {Top(grid), Top(CounterGroup(m_scale, m_copyStart, m_copyStep, m_copyDigits))});
  }
  RemoveFromClick();
  // Every field reports its changes, the number fields' own edits included.
  for (QLineEdit* edit : findChildren<QLineEdit*>()) {
    connect(edit, &QLineEdit::textChanged, this, &TCommandPages::Changed);
  }
  for (QComboBox* box : {m_renameScheme, m_copyScheme}) {
    connect(box, &QComboBox::currentIndexChanged, this, &TCommandPages::Changed);
  }
  connect(m_replaceRegex, &QCheckBox::toggled, this, &TCommandPages::Changed);
  for (TXRadioGroup* group : {m_removeFrom, m_changeCaseMode}) {
    for (int i = 0; i < group->Count(); ++i) {
      connect(group->Button(i), &QRadioButton::toggled, this, [this](bool on) {
        if (on) Q_EMIT Changed();
      });
    }
  }
}

QWidget* TCommandPages::AddPage(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  addWidget(page);
  return page;
}

void TCommandPages::RemoveFromClick() {
  const bool position = m_removeFrom->ItemIndex() == 2;
  m_removePositionLabel->setVisible(position);
  m_removePosition->setVisible(position);
}

CommandParameters TCommandPages::Parameters() const {
  CommandParameters p;
  p.InsertString = ToStd(m_insertString->text());
  p.InsertFrom = m_insertFrom->ClampedValue();
  p.RemoveFrom = m_removeFrom->ItemIndex();
  p.RemoveNumber = m_removeNumber->ClampedValue();
  p.RemovePosition = m_removePosition->ClampedValue();
  p.ReplaceOrigString = ToStd(m_replaceOrigString->text());
  p.ReplaceNewString = ToStd(m_replaceNewString->text());
  p.ReplaceRegex = m_replaceRegex->isChecked();
  p.ChangeString = ToStd(m_changeString->text());
  p.ChangeFrom = m_changeFrom->ClampedValue();
  p.ChangeCaseMode = m_changeCaseMode->ItemIndex();
  p.ChangeCaseSeparator = ToStd(m_changeCaseSeparator->text());
  p.ChangeNumberWhich = m_changeNumberWhich->ClampedValue();
  p.ChangeNumberPlus = m_changeNumberPlus->ClampedValue();
  p.RenameName = ToStd(m_renameName->text());
  p.RenameSeparator = ToStd(m_renameSeparator->text());
  p.RenameScheme = m_renameScheme->currentIndex();
  p.RenameStart = m_renameStart->ClampedValue();
  p.RenameStep = m_renameStep->ClampedValue();
  p.RenameDigits = m_renameDigits->ClampedValue();
  p.CopyNumber = m_copyNumber->ClampedValue();
  p.CopySeparator = ToStd(m_copySeparator->text());
  p.CopyScheme = m_copyScheme->currentIndex();
  p.CopyStart = m_copyStart->ClampedValue();
  p.CopyStep = m_copyStep->ClampedValue();
  p.CopyDigits = m_copyDigits->ClampedValue();
  return p;
}

void TCommandPages::SetParameters(const CommandParameters& p) {
  m_insertString->setText(FromStd(p.InsertString));
  m_insertFrom->SetValue(p.InsertFrom);
  m_removeFrom->SetItemIndex(p.RemoveFrom);
  m_removeNumber->SetValue(p.RemoveNumber);
  m_removePosition->SetValue(p.RemovePosition);
  RemoveFromClick();
  m_replaceOrigString->setText(FromStd(p.ReplaceOrigString));
  m_replaceNewString->setText(FromStd(p.ReplaceNewString));
  m_replaceRegex->setChecked(p.ReplaceRegex);
  m_changeString->setText(FromStd(p.ChangeString));
  m_changeFrom->SetValue(p.ChangeFrom);
  m_changeCaseMode->SetItemIndex(p.ChangeCaseMode);
  m_changeCaseSeparator->setText(FromStd(p.ChangeCaseSeparator));
  m_changeNumberWhich->SetValue(p.ChangeNumberWhich);
  m_changeNumberPlus->SetValue(p.ChangeNumberPlus);
  m_renameName->setText(FromStd(p.RenameName));
  m_renameSeparator->setText(FromStd(p.RenameSeparator));
  m_renameScheme->setCurrentIndex(p.RenameScheme);
  m_renameStart->SetValue(p.RenameStart);
  m_renameStep->SetValue(p.RenameStep);
  m_renameDigits->SetValue(p.RenameDigits);
  m_copyNumber->SetValue(p.CopyNumber);
  m_copySeparator->setText(FromStd(p.CopySeparator));
  m_copyScheme->setCurrentIndex(p.CopyScheme);
  m_copyStart->SetValue(p.CopyStart);
  m_copyStep->SetValue(p.CopyStep);
  m_copyDigits->SetValue(p.CopyDigits);
}

}  // namespace relabo
