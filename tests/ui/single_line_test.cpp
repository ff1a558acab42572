// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/single_line.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include "tests/ui/qt_print.h"

namespace relabo {
namespace {

TEST(BlankControlCharacters, EveryControlCharacterBecomesABlank) {
  struct Case {
    const char* name;
    QString text;
    QString expected;
  };
  const Case cases[] = {
      {"plain", QStringLiteral("a b/c"), QStringLiteral("a b/c")},
      {"line feed", QStringLiteral("foo\nbar"), QStringLiteral("foo bar")},
      {"carriage return and line feed", QStringLiteral("a\r\nb"), QStringLiteral("a  b")},
      {"tab", QStringLiteral("a\tb"), QStringLiteral("a b")},
      {"NUL", QString(QChar(0)) + QStringLiteral("x"), QStringLiteral(" x")},
      {"escape and delete", QStringLiteral("\x1b[1m\x7f"), QStringLiteral(" [1m ")},
      {"C1 control", QString(QChar(0x85)), QStringLiteral(" ")},
      {"letters beyond ASCII stay", QStringLiteral("\u00e9\u4e2d"), QStringLiteral("\u00e9\u4e2d")},
      {"empty", QString(), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BlankControlCharacters(c.text), c.expected);
  }
}

TEST(SingleLineField, ControlCharactersShowAsBlanksHoweverTheyArrive) {
  QLineEdit edit;
  MakeSingleLine(&edit);
  edit.show();
  struct Case {
    const char* name;
    void (*put)(QLineEdit&);
  };
  const Case cases[] = {
      {"set", [](QLineEdit& e) { e.setText(QStringLiteral("foo\nbar")); }},
      {"inserted", [](QLineEdit& e) { e.insert(QStringLiteral("foo\nbar")); }},
      {"pasted",
       [](QLineEdit& e) {
         QApplication::clipboard()->setText(QStringLiteral("foo\nbar"));
         e.paste();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    edit.clear();
    c.put(edit);
    // What the field holds is what it shows, and what a command takes from it.
    EXPECT_EQ(edit.text(), QStringLiteral("foo bar"));
    EXPECT_EQ(edit.displayText(), QStringLiteral("foo bar"));
  }
  edit.clear();
  QTest::keyClicks(&edit, QStringLiteral("ab"));
  EXPECT_EQ(edit.text(), QStringLiteral("ab"));
  EXPECT_EQ(edit.cursorPosition(), 2);
}

}  // namespace
}  // namespace relabo
