// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/command_pages.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <limits>
#include <optional>

#include "tests/ui/qt_print.h"
#include "ui/spin_edit.h"

namespace relabo {
namespace {

void LeaveField(QWidget& field) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(&field, &out);
}

TEST(ParseFieldInteger, ReadsOnlyDecimalIntegers) {
  struct Case {
    const char* name;
    const char* text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"digits", "42", 42},
      {"leading zeros", "007", 7},
      {"minus", "-5", -5},
      {"plus", "+5", 5},
      {"blanks before", "  3", 3},
      {"blank after", "3 ", std::nullopt},
      {"empty", "", std::nullopt},
      {"sign alone", "-", std::nullopt},
      {"two signs", "--1", std::nullopt},
      {"sign inside", "1-2", std::nullopt},
      {"largest", "2147483647", std::numeric_limits<int32_t>::max()},
      {"smallest", "-2147483648", std::numeric_limits<int32_t>::min()},
      // Beyond 32 bits a number counts as the nearest end, never as no number at all.
      {"above the largest", "2147483648", std::numeric_limits<int32_t>::max()},
      {"below the smallest", "-2147483649", std::numeric_limits<int32_t>::min()},
      {"eleven digits", "99999999999", std::numeric_limits<int32_t>::max()},
      {"far too long", "99999999999999999999999", std::numeric_limits<int32_t>::max()},
      {"far too long negative", "-99999999999999999999999", std::numeric_limits<int32_t>::min()},
      {"hexadecimal", "0x10", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseFieldInteger(c.text), c.value);
  }
}

TEST(SpinEdit, ValueIsTheTextOrTheMinimumUnclamped) {
  TXSpinEdit spin(1, 256, 1);
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {{"12", 12}, {"", 1}, {"-", 1}, {"300", 300}, {"0", 0}, {"007", 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    spin.SetText(QString::fromLatin1(c.text));
    EXPECT_EQ(spin.Value(), c.value);
    EXPECT_EQ(spin.Text(), QString::fromLatin1(c.text));
  }
}

TEST(SpinEdit, LeavingTheFieldShowsTheValueThatIsUsed) {
  struct Case {
    const char* text;
    int32_t min, max;
    const char* after;
  };
  const Case cases[] = {
      {"300", 1, 256, "256"},
      {"0", 1, 256, "1"},
      {"-4", 1, 256, "1"},
      {"007", 1, 256, "007"},
      {"+5", 1, 256, "+5"},
      // No number at all reads as the minimum, and says so once left.
      {"", 1, 256, "1"},
      {"--", 1, 256, "1"},
      {"99999999999", 1, 1000000000, "1000000000"},
      {"99999999999", 0, 0, "2147483647"},
      {"-99999999999", 0, 0, "-2147483648"},
      {"2147483647", 0, 0, "2147483647"},
      {"-", 0, 0, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.min) + ".." +
                 std::to_string(c.max));
    TXSpinEdit spin(c.min, c.max, 1);
    spin.SetText(QString::fromLatin1(c.text));
    const int32_t used = spin.ClampedValue();
    LeaveField(spin);
    EXPECT_EQ(spin.Text(), QString::fromLatin1(c.after));
    EXPECT_EQ(spin.ClampedValue(), used);
  }
}

TEST(SpinEdit, SetValueClampsToTheRange) {
  TXSpinEdit spin(1, 100, 3);
  spin.SetValue(1000);
  EXPECT_EQ(spin.Text(), QStringLiteral("100"));
  spin.SetValue(-3);
  EXPECT_EQ(spin.Text(), QStringLiteral("1"));
}

TEST(SpinEdit, BothLimitsZeroMeansNoBounds) {
  TXSpinEdit spin(0, 0, 1);
  EXPECT_FALSE(spin.Bounded());
  spin.SetValue(-50);
  EXPECT_EQ(spin.Value(), -50);
  LeaveField(spin);
  EXPECT_EQ(spin.Text(), QStringLiteral("-50"));
  spin.SetValue(int64_t(1) << 40);
  EXPECT_EQ(spin.Value(), std::numeric_limits<int32_t>::max());
  spin.stepBy(1);
  EXPECT_EQ(spin.Value(), std::numeric_limits<int32_t>::max());
}

TEST(SpinEdit, ArrowsStepByOneWithinTheRange) {
  TXSpinEdit spin(1, 10, 5);
  QTest::keyClick(&spin, Qt::Key_Up);
  EXPECT_EQ(spin.Value(), 6);
  QTest::keyClick(&spin, Qt::Key_Down);
  QTest::keyClick(&spin, Qt::Key_Down);
  EXPECT_EQ(spin.Value(), 4);
  spin.SetValue(10);
  QTest::keyClick(&spin, Qt::Key_Up);
  EXPECT_EQ(spin.Value(), 10);
  // A text that is no number counts as the minimum.
  spin.SetText(QString());
  spin.stepBy(1);
  EXPECT_EQ(spin.Value(), 2);
}

TEST(SpinEdit, TypingTakesDigitsAndSignsOnly) {
  TXSpinEdit spin(1, 1000, 1);
  spin.SetText(QString());
  QTest::keyClicks(&spin, QStringLiteral("1a2b-3"));
  EXPECT_EQ(spin.Text(), QStringLiteral("12-3"));
  EXPECT_EQ(spin.Value(), 1);
}

TEST(RadioGroup, ItemIndexIsHeldBetweenNoChoiceAndTheLastChoice) {
  TXRadioGroup group(QStringLiteral("Start from"),
                     {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, 1);
  struct Case {
    int set;
    int read;
  };
  const Case cases[] = {{1, 1}, {0, 0}, {2, 2}, {9, 2}, {-1, -1}, {1, 1}, {-7, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    group.SetItemIndex(c.set);
    EXPECT_EQ(group.ItemIndex(), c.read);
    int checked = 0;
    for (int i = 0; i < group.Count(); ++i) checked += group.Button(i)->isChecked();
    EXPECT_EQ(checked, c.read < 0 ? 0 : 1);
  }
}

TEST(CommandPages, NumberFieldsHaveTheirRangesAndStartValues) {
  const TCommandPages pages;
  struct Case {
    const char* name;
    int32_t min;
    int32_t max;
    int32_t value;
  };
  const Case cases[] = {
      {"InsertFrom", 0, 1000000000, 1},
      {"RemoveNumber", 1, 256, 1},
      {"RemovePosition", 1, 256, 1},
      {"ChangeFrom", 1, 1000000000, 1},
      {"ChangeNumberWhich", 1, 1000000000, 1},
      {"ChangeNumberPlus", 0, 0, 1},
      {"RenameStart", 0, 1000000000, 1},
      {"RenameStep", 0, 0, 1},
      {"RenameDigits", 1, 100, 3},
      {"CopyNumber", 1, 10000000, 1},
      {"CopyStart", 0, 1000000000, 1},
      {"CopyStep", 0, 0, 1},
      {"CopyDigits", 1, 100, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* spin = pages.findChild<TXSpinEdit*>(QString::fromLatin1(c.name));
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->MinValue(), c.min);
    EXPECT_EQ(spin->MaxValue(), c.max);
    EXPECT_EQ(spin->Value(), c.value);
  }
  EXPECT_EQ(pages.Parameters(), CommandParameters());
  EXPECT_EQ(pages.count(), kCommandCount);
  EXPECT_EQ(pages.RenameScheme()->count(), 6);
  EXPECT_EQ(pages.CopyScheme()->count(), 6);
}

TEST(CommandPages, PositionFieldShowsOnlyForTheThirdStartChoice) {
  TCommandPages pages;
  pages.setCurrentIndex(kRemoveString);
  pages.show();
  struct Case {
    int choice;
    bool shown;
  };
  for (const Case c : {Case{2, true}, Case{0, false}, Case{1, false}, Case{2, true}}) {
    SCOPED_TRACE(c.choice);
    pages.RemoveFrom()->Button(c.choice)->click();
    EXPECT_EQ(pages.RemoveFrom()->ItemIndex(), c.choice);
    EXPECT_EQ(!pages.RemovePosition()->isHidden(), c.shown);
    EXPECT_EQ(!pages.RemovePositionLabel()->isHidden(), c.shown);
  }
  // Set by value (as the settings do), the field follows as well.
  CommandParameters params;
  params.RemoveFrom = 0;
  pages.SetParameters(params);
  EXPECT_TRUE(pages.RemovePosition()->isHidden());
}

// The regular expression box of Replace String: off at first, below the two fields and in
// line with them, so the fields stay where they are.
TEST(CommandPages, RegularExpressionBoxSitsBelowTheFields) {
  TCommandPages pages;
  pages.setCurrentIndex(kReplaceString);
  pages.resize(600, 200);
  pages.show();
  QApplication::processEvents();
  QCheckBox* box = pages.ReplaceRegex();
  EXPECT_EQ(box->text(), QStringLiteral("Regular expression"));
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(pages.Parameters().ReplaceRegex);
  const QRect orig = pages.ReplaceOrigString()->geometry();
  const QRect replacement = pages.ReplaceNewString()->geometry();
  EXPECT_LT(orig.bottom(), replacement.top());
  EXPECT_LE(replacement.bottom(), box->geometry().top());
  EXPECT_EQ(box->geometry().left(), replacement.left());
}

TEST(CommandPages, ParametersComeBackAsTheyWereSet) {
  TCommandPages pages;
  CommandParameters p;
  p.InsertString = "ins\xC3\xA9";
  p.InsertFrom = 0;
  p.RemoveFrom = 2;
  p.RemoveNumber = 256;
  p.RemovePosition = 7;
  p.ReplaceOrigString = "old";
  p.ReplaceNewString = "";
  p.ReplaceRegex = true;
  p.ChangeString = "xy";
  p.ChangeFrom = 3;
  p.ChangeCaseMode = 3;
  p.ChangeCaseSeparator = "_";
  p.ChangeNumberWhich = 2;
  p.ChangeNumberPlus = -10;
  p.RenameName = "Holiday";
  p.RenameSeparator = " - ";
  p.RenameScheme = 5;
  p.RenameStart = 0;
  p.RenameStep = -2;
  p.RenameDigits = 100;
  p.CopyNumber = 10000000;
  p.CopySeparator = "#";
  p.CopyScheme = 4;
  p.CopyStart = 1000000000;
  p.CopyStep = 0;
  p.CopyDigits = 1;
  pages.SetParameters(p);
  EXPECT_EQ(pages.Parameters(), p);
}

TEST(CommandPages, OutOfRangeValuesAreBroughtIntoRange) {
  TCommandPages pages;
  CommandParameters p;
  p.RemoveNumber = 0;
  p.RenameDigits = 1000;
  p.ChangeCaseMode = 9;
  p.RenameScheme = 6;
  p.CopyScheme = -1;
  pages.SetParameters(p);
  const CommandParameters read = pages.Parameters();
  EXPECT_EQ(read.RemoveNumber, 1);
  EXPECT_EQ(read.RenameDigits, 100);
  EXPECT_EQ(read.ChangeCaseMode, 3);
  EXPECT_EQ(read.RenameScheme, -1);
  EXPECT_EQ(read.CopyScheme, -1);
}

TEST(CommandPages, ACommandUsesTheValueInRangeWhileTheFieldStillHasTheFocus) {
  TCommandPages pages;
  struct Case {
    const char* field;
    const char* text;
    int32_t CommandParameters::*member;
    int32_t used;
  };
  const Case cases[] = {
      {"RenameDigits", "1000", &CommandParameters::RenameDigits, 100},
      {"RenameDigits", "30000000", &CommandParameters::RenameDigits, 100},
      {"CopyDigits", "2147483647", &CommandParameters::CopyDigits, 100},
      {"ChangeFrom", "-5", &CommandParameters::ChangeFrom, 1},
      {"ChangeFrom", "99999999999", &CommandParameters::ChangeFrom, 1000000000},
      {"InsertFrom", "-1", &CommandParameters::InsertFrom, 0},
      {"RemoveNumber", "999", &CommandParameters::RemoveNumber, 256},
      {"RemovePosition", "0", &CommandParameters::RemovePosition, 1},
      {"ChangeNumberWhich", "0", &CommandParameters::ChangeNumberWhich, 1},
      {"ChangeNumberPlus", "99999999999", &CommandParameters::ChangeNumberPlus, INT32_MAX},
      {"RenameStart", "-7", &CommandParameters::RenameStart, 0},
      {"RenameStep", "-99999999999", &CommandParameters::RenameStep, INT32_MIN},
      {"CopyStart", "--", &CommandParameters::CopyStart, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.text);
    auto* spin = pages.findChild<TXSpinEdit*>(QString::fromLatin1(c.field));
    ASSERT_NE(spin, nullptr);
    // Set as typed: the text stays until the field is left.
    spin->SetText(QString::fromLatin1(c.text));
    EXPECT_EQ(pages.Parameters().*c.member, c.used);
    LeaveField(*spin);
    EXPECT_EQ(spin->Text(), QString::number(c.used));
    EXPECT_EQ(pages.Parameters().*c.member, c.used);
  }
}

TEST(CommandPages, TextFieldsHoldNoControlCharacters) {
  TCommandPages pages;
  CommandParameters p;
  p.InsertString = "foo\nbar";
  p.ReplaceOrigString = "a\tb";
  p.ReplaceNewString = "c\r\n";
  p.ChangeString = std::string("x\0y", 3);
  p.ChangeCaseSeparator = "\x1b";
  p.RenameName = "n\x7f";
  p.RenameSeparator = "/";
  p.CopySeparator = "\n";
  pages.SetParameters(p);
  const CommandParameters read = pages.Parameters();
  EXPECT_EQ(read.InsertString, "foo bar");
  EXPECT_EQ(read.ReplaceOrigString, "a b");
  EXPECT_EQ(read.ReplaceNewString, "c  ");
  EXPECT_EQ(read.ChangeString, "x y");
  EXPECT_EQ(read.ChangeCaseSeparator, " ");
  EXPECT_EQ(read.RenameName, "n ");
  EXPECT_EQ(read.RenameSeparator, "/");  // a subfolder stays addressable
  EXPECT_EQ(read.CopySeparator, " ");
  pages.InsertString()->clear();
  pages.InsertString()->insert(QStringLiteral("pasted\nline"));
  EXPECT_EQ(pages.Parameters().InsertString, "pasted line");
}

TEST(CommandPages, EveryChangeOfAFieldIsReported) {
  TCommandPages pages;
  pages.show();
  int changes = 0;
  QObject::connect(&pages, &TCommandPages::Changed, [&changes] { ++changes; });
  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"a key in a text field", [&] { QTest::keyClick(pages.InsertString(), Qt::Key_X); }},
      {"a key in a number field", [&] { QTest::keyClick(pages.InsertFrom(), Qt::Key_Up); }},
      {"a number typed", [&] { pages.RenameDigits()->SetText(QStringLiteral("12")); }},
      {"a choice clicked", [&] { pages.RemoveFrom()->Button(2)->click(); }},
      {"a case mode set", [&] { pages.ChangeCaseMode()->SetItemIndex(3); }},
      {"a scheme picked", [&] { pages.CopyScheme()->setCurrentIndex(4); }},
      {"a paste", [&] { pages.ReplaceNewString()->insert(QStringLiteral("pasted")); }},
      {"a box ticked", [&] { pages.ReplaceRegex()->click(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    changes = 0;
    c.change();
    EXPECT_GE(changes, 1);
  }
  changes = 0;
  pages.SetParameters(CommandParameters());
  EXPECT_GE(changes, 1);
}

TEST(CommandPages, CopyNumberIsReadWithinOneToTenMillion) {
  TCommandPages pages;
  struct Case {
    const char* text;
    int32_t copies;
  };
  const Case cases[] = {{"0", 1}, {"", 1}, {"-3", 1}, {"007", 7}, {"20000000", 10000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    pages.CopyNumber()->SetText(QString::fromLatin1(c.text));
    EXPECT_EQ(pages.Parameters().CopyNumber, c.copies);
    EXPECT_EQ(pages.CopyNumber()->Text(), QString::fromLatin1(c.text));
  }
}

}  // namespace
}  // namespace relabo
