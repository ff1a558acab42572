// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/selection_form.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "engine/layout_scale.h"
#include "tests/support/application_font.h"
#include "tests/ui/qt_print.h"

namespace relabo {
namespace {

using test::ApplicationFont;

using History = std::vector<std::string>;

// Runs `act` on the modal dialog as soon as it is open.
void WhenModalOpens(std::function<void(TSelectionForm*)> act) {
  QTimer::singleShot(0, [act] {
    auto* form = qobject_cast<TSelectionForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    act(form);
  });
}

// The height a label needs to show a whole line of the font.
int LineHeight(const QFont& font) {
  return std::max(QFontMetrics(font).height(),
                  static_cast<int>(std::ceil(QFontMetricsF(font).height())));
}

// A key pressed where the keyboard focus is, as a user would.
void PressKey(TSelectionForm* form, Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  QTest::keyClick(target ? target : form, key);
}

TEST(CenteredOverTest, Table) {
  struct Case {
    const char* name;
    QRect owner;
    QSize window;
    QPoint expected;
  };
  const Case cases[] = {
      {"even halves", QRect(100, 50, 800, 600), QSize(316, 110), QPoint(342, 295)},
      {"odd halves rounded down", QRect(100, 50, 800, 600), QSize(317, 111), QPoint(341, 294)},
      {"window larger than owner: toward zero", QRect(0, 0, 200, 50), QSize(317, 111),
       QPoint(-58, -30)},
      {"owner off the left edge", QRect(-500, -20, 300, 200), QSize(315, 85), QPoint(-507, 37)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CenteredOver(c.owner, c.window), c.expected);
  }
}

class SelectionFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_form = std::make_unique<TSelectionForm>();
    m_form->SetPrompt(QStringLiteral("Specify file type:"));
    m_form->SetHistory({"*.txt", "*.cpp"});
    m_form->show();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
  }
  template <typename T>
  T* Child(const char* name) {
    return m_form->findChild<T*>(QString::fromLatin1(name));
  }

  std::unique_ptr<TSelectionForm> m_form;
};

TEST_F(SelectionFormTest, LayoutAndStartState) {
  const LayoutScale scale = LayoutScale::ForFont(m_form->font());
  EXPECT_EQ(m_form->size(), scale.Size(315, 85));
  // A title bar without buttons: minimising the dialog would take the main window along,
  // which it blocks, and leave nothing on the screen to bring either back.
  ASSERT_NE(m_form->windowHandle(), nullptr);
  for (const Qt::WindowFlags flags : {m_form->windowFlags(), m_form->windowHandle()->flags()}) {
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
  }
  auto* box = Child<QComboBox>("FilterBox");
  auto* ok = Child<QPushButton>("OkBtn");
  auto* cancel = Child<QPushButton>("CancelBtn");
  ASSERT_TRUE(box && ok && cancel);
  EXPECT_EQ(Child<QLabel>("FileTypeLabel")->pos(), scale.Point(8, 8));
  EXPECT_EQ(box->geometry().topLeft(), scale.Point(8, 24));
  EXPECT_EQ(box->width(), scale.Rect(8, 24, 297, 0).width());
  EXPECT_EQ(ok->geometry(), scale.Rect(80, 56, 75, 25));
  EXPECT_EQ(cancel->geometry(), scale.Rect(168, 56, 75, 25));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_TRUE(box->hasFocus());
  EXPECT_EQ(box->currentText(), QStringLiteral("*.txt"));
  EXPECT_EQ(box->count(), 2);
}

TEST(SelectionFormLayout, IsLaidOutInTheApplicationFont) {
  for (const int points : {8, 10, 12}) {
    SCOPED_TRACE(points);
    const ApplicationFont applicationFont(points);
    TSelectionForm form;
    form.SetPrompt(QStringLiteral("Enter new extension:"));
    form.show();
    EXPECT_EQ(form.font(), QApplication::font());
    const LayoutScale scale = LayoutScale::ForFont(form.font());
    EXPECT_EQ(form.size(), scale.Size(315, 85));

    auto* label = form.findChild<QLabel*>(QStringLiteral("FileTypeLabel"));
    auto* box = form.findChild<QComboBox*>(QStringLiteral("FilterBox"));
    auto* ok = form.findChild<QPushButton*>(QStringLiteral("OkBtn"));
    auto* cancel = form.findChild<QPushButton*>(QStringLiteral("CancelBtn"));
    ASSERT_TRUE(label && box && ok && cancel);
    EXPECT_EQ(label->pos(), scale.Point(8, 8));
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
    EXPECT_GE(label->height(), LineHeight(label->font()));
    const QRect boxRow = scale.Rect(8, 24, 297, 0);
    EXPECT_EQ(box->geometry(),
              QRect(boxRow.x(), boxRow.y(), boxRow.width(), box->sizeHint().height()));
    EXPECT_GE(box->lineEdit()->height(), LineHeight(box->font()));
    EXPECT_EQ(ok->geometry(), scale.Rect(80, 56, 75, 25));
    EXPECT_EQ(cancel->geometry(), scale.Rect(168, 56, 75, 25));

    const std::vector<QWidget*> controls = {label, box, ok, cancel};
    for (size_t i = 0; i < controls.size(); ++i) {
      SCOPED_TRACE(controls[i]->objectName().toStdString());
      EXPECT_TRUE(form.rect().contains(controls[i]->geometry()));
      for (size_t j = 0; j < i; ++j) {
        EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
            << controls[j]->objectName().toStdString();
      }
    }
    for (const QPushButton* button : {ok, cancel}) {
      EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width());
      EXPECT_GE(button->height(), LineHeight(button->font()));
    }
  }
}

TEST(SelectionFormOwner, AMinimisedDialogComesBackWithTheMainWindow) {
  QWidget owner;
  owner.setGeometry(100, 50, 800, 600);
  owner.show();
  TSelectionForm form(&owner);
  form.show();
  // The window manager took both to the taskbar; the user restores the main window.
  form.setWindowState(Qt::WindowMinimized);
  owner.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(form.windowState() & Qt::WindowMinimized);
  owner.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(form.windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(form.isVisible());

  // Watching the owner takes none of its keys.
  form.setResult(-1);
  QTest::keyClick(&owner, Qt::Key_Escape);
  QTest::keyClick(&owner, Qt::Key_Return);
  EXPECT_EQ(form.result(), -1);
  EXPECT_TRUE(form.isVisible());
}

TEST_F(SelectionFormTest, EnterAndEscWhereverTheFocusIs) {
  struct Case {
    const char* name;
    const char* focus;
    Qt::Key key;
    int result;
  };
  const Case cases[] = {
      {"Enter in the box accepts", "FilterBox", Qt::Key_Return, QDialog::Accepted},
      {"keypad Enter in the box accepts", "FilterBox", Qt::Key_Enter, QDialog::Accepted},
      {"Esc in the box cancels", "FilterBox", Qt::Key_Escape, QDialog::Rejected},
      {"Enter on OK accepts", "OkBtn", Qt::Key_Return, QDialog::Accepted},
      {"Esc on OK cancels", "OkBtn", Qt::Key_Escape, QDialog::Rejected},
      {"Enter on Cancel presses Cancel", "CancelBtn", Qt::Key_Return, QDialog::Rejected},
      {"Esc on Cancel cancels", "CancelBtn", Qt::Key_Escape, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_form->setResult(-1);
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    Child<QWidget>(c.focus)->setFocus();
    ASSERT_TRUE(Child<QWidget>(c.focus)->hasFocus());
    PressKey(m_form.get(), c.key);
    EXPECT_EQ(m_form->result(), c.result);
    EXPECT_FALSE(m_form->isVisible());
  }
}

TEST_F(SelectionFormTest, EnterInTheOpenListAcceptsTheHighlightedEntry) {
  auto* box = Child<QComboBox>("FilterBox");
  box->showPopup();
  ASSERT_TRUE(QTest::qWaitFor([&] { return box->view()->isVisible(); }));
  box->view()->setCurrentIndex(box->model()->index(1, 0));
  QTest::keyClick(box->view(), Qt::Key_Return);
  EXPECT_EQ(m_form->result(), QDialog::Accepted);
  EXPECT_EQ(m_form->Text(), QStringLiteral("*.cpp"));
}

TEST_F(SelectionFormTest, EscInTheOpenListCancels) {
  auto* box = Child<QComboBox>("FilterBox");
  box->showPopup();
  ASSERT_TRUE(QTest::qWaitFor([&] { return box->view()->isVisible(); }));
  QTest::keyClick(box->view(), Qt::Key_Escape);
  EXPECT_EQ(m_form->result(), QDialog::Rejected);
}

TEST(ShowSelectionDialogTest, AcceptRecordsTheTextInTheHistory) {
  QWidget owner;
  owner.setGeometry(100, 50, 800, 600);
  owner.show();
  History history = {"*.*", "*.txt", "*.cpp"};
  QPoint position;
  QSize size;
  WhenModalOpens([&](TSelectionForm* form) {
    position = form->pos();
    size = form->size();
    EXPECT_EQ(size, LayoutScale::ForFont(form->font()).Size(315, 85));
    EXPECT_FALSE(form->windowHandle()->flags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Expand selection"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("FileTypeLabel"))->text(),
              QStringLiteral("Specify file type:"));
    QLineEdit* edit = form->findChild<QComboBox*>(QStringLiteral("FilterBox"))->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("*.CPP"));
    PressKey(form, Qt::Key_Return);
  });
  std::string text = "stale";
  EXPECT_TRUE(ShowSelectionDialog(&owner, QStringLiteral("Expand selection"),
                                  QStringLiteral("Specify file type:"), history, text));
  EXPECT_EQ(text, "*.cpp");
  EXPECT_EQ(history, (History{"*.cpp", "*.*", "*.txt"}));
  const QSize frame = owner.frameGeometry().size() - owner.geometry().size();
  EXPECT_EQ(position, CenteredOver(owner.frameGeometry(), size + frame));
}

TEST(ShowSelectionDialogTest, CancelLeavesTheHistoryAlone) {
  History history = {"*.*", "*.txt"};
  WhenModalOpens([](TSelectionForm* form) {
    QLineEdit* edit = form->findChild<QComboBox*>(QStringLiteral("FilterBox"))->lineEdit();
    QTest::keyClicks(edit, QStringLiteral("typed"));
    PressKey(form, Qt::Key_Escape);
  });
  std::string text = "stale";
  EXPECT_FALSE(ShowSelectionDialog(nullptr, QStringLiteral("Filter"),
                                   QStringLiteral("Specify file type:"), history, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(history, (History{"*.*", "*.txt"}));
}

TEST(ShowSelectionDialogTest, OneEmptyEntryOpensEmptyAndAcceptsWhatIsTyped) {
  History history = {""};
  WhenModalOpens([](TSelectionForm* form) {
    auto* box = form->findChild<QComboBox*>(QStringLiteral("FilterBox"));
    EXPECT_EQ(box->currentText(), QString());
    QTest::keyClicks(box->lineEdit(), QStringLiteral("bak"));
    form->findChild<QPushButton*>(QStringLiteral("OkBtn"))->click();
  });
  std::string text;
  EXPECT_TRUE(ShowSelectionDialog(nullptr, QStringLiteral("Extension"),
                                  QStringLiteral("Enter new extension:"), history, text));
  EXPECT_EQ(text, "bak");
  EXPECT_EQ(history, (History{"bak", ""}));
}

TEST(ShowSelectionDialogTest, AcceptsExactlyWhatWasTypedNeverACompletion) {
  struct Case {
    const char* name;
    History history;
    const char* typed;
    const char* accepted;
  };
  const Case cases[] = {
      {"a history entry that starts with the text", {"*.txt;*.JPG", "*.*"}, "*.txt", "*.txt"},
      {"a star that an entry continues", {"*.bak", "*.*"}, "*", "*"},
      {"a pasted line break", {"*.*"}, "*.txt\n*.doc", "*.txt *.doc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    History history = c.history;
    WhenModalOpens([&](TSelectionForm* form) {
      QLineEdit* edit = form->findChild<QComboBox*>(QStringLiteral("FilterBox"))->lineEdit();
      edit->clear();
      // Typed key by key (a completer acts on each), a control character by a paste.
      const QString typed = QString::fromUtf8(c.typed);
      if (typed.contains(u'\n')) {
        edit->insert(typed);
      } else {
        QTest::keyClicks(edit, typed);
      }
      EXPECT_EQ(edit->text(), QString::fromUtf8(c.accepted));
      PressKey(form, Qt::Key_Return);
    });
    std::string text;
    ASSERT_TRUE(ShowSelectionDialog(nullptr, QStringLiteral("Shrink selection"),
                                    QStringLiteral("Specify file type:"), history, text));
    EXPECT_EQ(text, c.accepted);
    EXPECT_EQ(history.front(), c.accepted);
  }
}

}  // namespace
}  // namespace relabo
