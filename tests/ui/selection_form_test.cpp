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
#include <functional>
#include <memory>

#include "tests/ui/qt_print.h"

namespace relabo {
namespace {

using History = std::vector<std::string>;

// Runs `act` on the modal dialog as soon as it is open.
void WhenModalOpens(std::function<void(TSelectionForm*)> act) {
  QTimer::singleShot(0, [act] {
    auto* form = qobject_cast<TSelectionForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    act(form);
  });
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
  EXPECT_EQ(m_form->size(), QSize(315, 85));
  EXPECT_FALSE(m_form->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(m_form->windowFlags() & Qt::WindowSystemMenuHint);
  auto* box = Child<QComboBox>("FilterBox");
  auto* ok = Child<QPushButton>("OkBtn");
  auto* cancel = Child<QPushButton>("CancelBtn");
  ASSERT_TRUE(box && ok && cancel);
  EXPECT_EQ(Child<QLabel>("FileTypeLabel")->pos(), QPoint(8, 8));
  EXPECT_EQ(box->geometry().topLeft(), QPoint(8, 24));
  EXPECT_EQ(box->width(), 297);
  EXPECT_EQ(ok->geometry(), QRect(80, 56, 75, 25));
  EXPECT_EQ(cancel->geometry(), QRect(168, 56, 75, 25));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_TRUE(box->hasFocus());
  EXPECT_EQ(box->currentText(), QStringLiteral("*.txt"));
  EXPECT_EQ(box->count(), 2);
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
  WhenModalOpens([&](TSelectionForm* form) {
    position = form->pos();
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
  EXPECT_EQ(position, CenteredOver(owner.frameGeometry(), QSize(315, 85) + frame));
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
