// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/undo_history_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/layout_scale.h"
#include "engine/undo.h"
#include "tests/support/application_font.h"
#include "tests/ui/qt_print.h"
#include "ui/selection_form.h"

namespace relabo {
namespace {

using test::ApplicationFont;

// A local time as the journal stores it, in ns since the epoch, plus a part of a second.
std::int64_t LocalNs(int year, int month, int day, int hour, int minute, int second,
                     std::int64_t extraNs = 0) {
  const QDateTime time(QDate(year, month, day), QTime(hour, minute, second));
  return std::int64_t(time.toMSecsSinceEpoch()) * 1'000'000 + extraNs;
}

JournalBatch Batch(const char* id, std::int64_t timeNs, const std::string& folder,
                   const char* title, int operations, bool complete = true, bool undone = false,
                   const char* undoes = "") {
  JournalBatch batch;
  batch.id = id;
  batch.timeNs = timeNs;
  batch.folder = folder;
  batch.title = title;
  batch.undoes = undoes;
  for (int i = 0; i < operations; ++i) {
    JournalOperation op;
    op.oldName = "a" + std::to_string(i);
    op.newName = "b" + std::to_string(i);
    batch.operations.push_back(op);
  }
  batch.complete = complete;
  batch.undone = undone;
  return batch;
}

// A small journal of every kind of batch, oldest first.
std::vector<JournalBatch> MixedJournal() {
  return {
      Batch("1-10", LocalNs(2024, 3, 5, 14, 7, 9, 999'999'999), "/home/ann/photos",
            "Rename: lower case", 3),
      Batch("2-10", LocalNs(2024, 3, 5, 14, 8, 0), "/home/ann/photos", "Copy: *.jpg", 2, true,
            true),
      Batch("3-11", LocalNs(2024, 3, 5, 14, 9, 30), "/home/ann/photos", "Undo: Copy: *.jpg", 2,
            true, false, "2-10"),
      Batch("4-12", LocalNs(2024, 3, 6, 8, 0, 1), "/mnt/b\xc3\xa4nd/x\ny", "Delete", 7, false),
      Batch("5-12", LocalNs(2024, 3, 6, 8, 0, 2), std::string("/tmp/\xff\xfe"), "Rename: number", 0,
            false),
      Batch("6-13", LocalNs(2024, 3, 7, 23, 59, 59), "/srv", "Undo: Delete", 1, true, true, "4-12"),
  };
}

QTreeWidget* List(QDialog* dialog) {
  return dialog->findChild<QTreeWidget*>(QStringLiteral("BatchList"));
}
QPushButton* Button(QDialog* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
}

// A key pressed where the keyboard focus is, as a user would.
void PressKey(QWidget* fallback, Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  QTest::keyClick(target ? target : fallback, key);
}

QPoint RowCentre(QTreeWidget* list, int row) {
  return list->visualItemRect(list->topLevelItem(row)).center();
}

// A double-click as the window system delivers it: QTest::mouseDClick alone sends only the
// double-click event, which a view takes for a first press.
void DoubleClickRow(QTreeWidget* list, int row) {
  const QPoint at = RowCentre(list, row);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  if (list->isVisible()) QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

// Runs `act` on the modal dialog as soon as it is shown; `act` must close it.
void WhenModalOpens(std::function<void(TUndoHistoryDialog*)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<TUndoHistoryDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
    act(dialog);
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the dialog stayed open";
      dialog->reject();
    }
  });
}

void ShowActive(QDialog* dialog) {
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
}

TEST(UndoableTest, OnlyBatchesThatDidSomethingAndAreNotTakenBackYet) {
  struct Case {
    const char* name;
    JournalBatch batch;
    bool expected;
  };
  const Case cases[] = {
      {"complete batch", Batch("1-1", 0, "/f", "Rename", 2), true},
      {"interrupted batch keeps what it did", Batch("1-1", 0, "/f", "Rename", 1, false), true},
      {"already undone", Batch("1-1", 0, "/f", "Rename", 2, true, true), false},
      {"an undo itself", Batch("1-1", 0, "/f", "Undo", 2, true, false, "0-1"), false},
      {"nothing done", Batch("1-1", 0, "/f", "Rename", 0), false},
      {"interrupted before its first operation", Batch("1-1", 0, "/f", "Copy", 0, false), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Undoable(c.batch), c.expected);
  }
}

TEST(UndoHistoryDialogTest, RowsAreNewestFirstWithTheirTexts) {
  TUndoHistoryDialog dialog(MixedJournal());
  ShowActive(&dialog);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Undo History"));
  QTreeWidget* list = List(&dialog);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->columnCount(), 5);
  const char* const headers[] = {"Time", "Folder", "Command", "Operations", "Undone"};
  for (int column = 0; column < 5; ++column)
    EXPECT_EQ(list->headerItem()->text(column), QString::fromLatin1(headers[column]));

  struct Case {
    const char* name;
    const char* time;
    QString folder;
    const char* command;
    const char* operations;
    const char* undone;
    bool undoable;
  };
  const Case cases[] = {
      {"an undone undo says undone", "2024-03-07 23:59:59", QStringLiteral("/srv"), "Undo: Delete",
       "1", "yes", false},
      {"bytes that are not UTF-8", "2024-03-06 08:00:02", QStringLiteral("/tmp/\ufffd\ufffd"),
       "Rename: number", "0 (interrupted)", "", false},
      {"interrupted, with a line break in its folder", "2024-03-06 08:00:01",
       QStringLiteral("/mnt/b\u00e4nd/x y"), "Delete", "7 (interrupted)", "", true},
      {"an undo of another batch", "2024-03-05 14:09:30", QStringLiteral("/home/ann/photos"),
       "Undo: Copy: *.jpg", "2", "undo", false},
      {"undone", "2024-03-05 14:08:00", QStringLiteral("/home/ann/photos"), "Copy: *.jpg", "2",
       "yes", false},
      {"the second it began in, never the next", "2024-03-05 14:07:09",
       QStringLiteral("/home/ann/photos"), "Rename: lower case", "3", "", true},
  };
  ASSERT_EQ(list->topLevelItemCount(), int(std::size(cases)));
  for (int row = 0; row < int(std::size(cases)); ++row) {
    const Case& c = cases[row];
    SCOPED_TRACE(c.name);
    const QTreeWidgetItem* item = list->topLevelItem(row);
    EXPECT_EQ(item->text(0), QString::fromLatin1(c.time));
    EXPECT_EQ(item->text(1), c.folder);
    EXPECT_EQ(item->text(2), QString::fromUtf8(c.command));
    EXPECT_EQ(item->text(3), QString::fromLatin1(c.operations));
    EXPECT_EQ(item->text(4), QString::fromLatin1(c.undone));
    EXPECT_EQ(item->childCount(), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, row));
    EXPECT_TRUE(list->topLevelItem(row)->isSelected());
    EXPECT_EQ(Button(&dialog, "UndoBtn")->isEnabled(), c.undoable);
    EXPECT_TRUE(dialog.isVisible());
  }
}

TEST(UndoHistoryDialogTest, TimesBeforeTheEpochRoundDown) {
  // One ns before the epoch is in the epoch's last second, not its first.
  TUndoHistoryDialog dialog({Batch("1-1", -1, "/f", "Rename", 1)});
  EXPECT_EQ(List(&dialog)->topLevelItem(0)->text(0),
            QDateTime::fromSecsSinceEpoch(-1).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

TEST(UndoHistoryDialogTest, OpensOnTheNewestBatchThatCanBeTakenBack) {
  struct Case {
    const char* name;
    std::vector<JournalBatch> batches;
    int current;
    bool undoEnabled;
  };
  const Case cases[] = {
      {"the newest batch", {Batch("1-1", 1, "/f", "A", 1), Batch("2-1", 2, "/f", "B", 1)}, 0, true},
      {"past an undo and an undone batch",
       {Batch("1-1", 1, "/f", "A", 1), Batch("2-1", 2, "/f", "B", 1, true, true),
        Batch("3-1", 3, "/f", "Undo B", 1, true, false, "2-1")},
       2,
       true},
      {"past an empty batch",
       {Batch("1-1", 1, "/f", "A", 4), Batch("2-1", 2, "/f", "B", 0)},
       1,
       true},
      {"nothing to take back: the first row",
       {Batch("1-1", 1, "/f", "A", 1, true, true),
        Batch("2-1", 2, "/f", "Undo A", 1, true, false, "1-1")},
       0,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUndoHistoryDialog dialog(c.batches);
    ShowActive(&dialog);
    QTreeWidget* list = List(&dialog);
    EXPECT_TRUE(list->hasFocus());
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), c.current);
    EXPECT_TRUE(list->currentItem()->isSelected());
    EXPECT_EQ(Button(&dialog, "UndoBtn")->isEnabled(), c.undoEnabled);
    EXPECT_TRUE(Button(&dialog, "UndoBtn")->isDefault());
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("EmptyLabel"))->isVisible());
    EXPECT_EQ(dialog.ChosenId(), "");
  }
}

TEST(UndoHistoryDialogTest, KeysOnARow) {
  // Rows, newest first: 6-13 undone undo, 5-12 nothing done, 4-12 interrupted (undoable),
  // 3-11 undo, 2-10 undone, 1-10 undoable.
  struct Case {
    const char* name;
    int row;
    const char* focus;
    Qt::Key key;
    int result;  // -1: still open
    const char* id;
  };
  const Case cases[] = {
      {"Enter takes the batch back", 5, "BatchList", Qt::Key_Return, QDialog::Accepted, "1-10"},
      {"keypad Enter too", 2, "BatchList", Qt::Key_Enter, QDialog::Accepted, "4-12"},
      {"Enter on an undone batch does nothing", 4, "BatchList", Qt::Key_Return, -1, ""},
      {"Enter on an undo does nothing", 3, "BatchList", Qt::Key_Return, -1, ""},
      {"Enter on an empty batch does nothing", 1, "BatchList", Qt::Key_Return, -1, ""},
      {"Esc closes", 5, "BatchList", Qt::Key_Escape, QDialog::Rejected, ""},
      {"Esc closes from any row", 0, "BatchList", Qt::Key_Escape, QDialog::Rejected, ""},
      {"Enter on Close closes", 5, "CloseBtn", Qt::Key_Return, QDialog::Rejected, ""},
      {"Esc on Undo closes", 5, "UndoBtn", Qt::Key_Escape, QDialog::Rejected, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUndoHistoryDialog dialog(MixedJournal());
    ShowActive(&dialog);
    QTreeWidget* list = List(&dialog);
    list->setCurrentItem(list->topLevelItem(c.row));
    dialog.findChild<QWidget*>(QString::fromLatin1(c.focus))->setFocus();
    dialog.setResult(-1);
    PressKey(&dialog, c.key);
    EXPECT_EQ(dialog.result(), c.result);
    EXPECT_EQ(dialog.isVisible(), c.result == -1);
    EXPECT_EQ(dialog.ChosenId(), c.id);
  }
}

TEST(UndoHistoryDialogTest, ArrowKeysMoveTheChoice) {
  TUndoHistoryDialog dialog(MixedJournal());
  ShowActive(&dialog);
  QTreeWidget* list = List(&dialog);
  ASSERT_EQ(list->indexOfTopLevelItem(list->currentItem()), 2);
  PressKey(&dialog, Qt::Key_Up);  // to the empty batch
  EXPECT_FALSE(Button(&dialog, "UndoBtn")->isEnabled());
  PressKey(&dialog, Qt::Key_End);
  EXPECT_TRUE(Button(&dialog, "UndoBtn")->isEnabled());
  PressKey(&dialog, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ChosenId(), "1-10");
}

// Says that items open on a single click, as some desktops set it.
class SingleClickStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ItemView_ActivateItemOnSingleClick) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

TEST(UndoHistoryDialogTest, MouseOnARow) {
  struct Case {
    const char* name;
    int row;
    bool doubleClick;
    int result;  // -1: still open
    const char* id;
  };
  const Case cases[] = {
      {"double-click takes the batch back", 5, true, QDialog::Accepted, "1-10"},
      {"double-click on an interrupted batch", 2, true, QDialog::Accepted, "4-12"},
      {"double-click on an undone batch does nothing", 4, true, -1, ""},
      {"double-click on an undo does nothing", 3, true, -1, ""},
      {"a single click only selects, even where it opens items", 5, false, -1, ""},
  };
  SingleClickStyle style;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUndoHistoryDialog dialog(MixedJournal());
    QTreeWidget* list = List(&dialog);
    list->setStyle(&style);
    ShowActive(&dialog);
    dialog.setResult(-1);
    if (c.doubleClick) {
      DoubleClickRow(list, c.row);
    } else {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, c.row));
      EXPECT_TRUE(list->topLevelItem(c.row)->isSelected());
    }
    EXPECT_EQ(dialog.result(), c.result);
    EXPECT_EQ(dialog.isVisible(), c.result == -1);
    EXPECT_EQ(dialog.ChosenId(), c.id);
  }
}

TEST(UndoHistoryDialogTest, ButtonsAndAClickBesideTheRows) {
  TUndoHistoryDialog dialog(MixedJournal());
  ShowActive(&dialog);
  QTreeWidget* list = List(&dialog);
  QPushButton* undo = Button(&dialog, "UndoBtn");
  ASSERT_TRUE(undo->isEnabled());
  // Below the last row: nothing is selected, so nothing can be taken back.
  const QPoint below(list->viewport()->width() / 2, list->viewport()->height() - 2);
  ASSERT_EQ(list->itemAt(below), nullptr);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_FALSE(undo->isEnabled());
  PressKey(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());

  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
  QTest::mouseClick(undo, Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ChosenId(), "4-12");

  // Shown again and closed: the earlier choice does not linger.
  ShowActive(&dialog);
  QTest::mouseClick(Button(&dialog, "CloseBtn"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.ChosenId(), "");
}

TEST(UndoHistoryDialogTest, AnEmptyJournal) {
  TUndoHistoryDialog dialog({});
  ShowActive(&dialog);
  QTreeWidget* list = List(&dialog);
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_TRUE(list->hasFocus());
  auto* empty = dialog.findChild<QLabel*>(QStringLiteral("EmptyLabel"));
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->isVisible());
  EXPECT_EQ(empty->text(), QStringLiteral("No batches recorded yet."));
  EXPECT_TRUE(list->viewport()->rect().contains(empty->geometry()));
  EXPECT_FALSE(Button(&dialog, "UndoBtn")->isEnabled());
  PressKey(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  PressKey(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.ChosenId(), "");
}

TEST(UndoHistoryDialogTest, TheCurrentRowIsScrolledIntoView) {
  // Many batches taken back: the one to offer is far down the list.
  std::vector<JournalBatch> batches = {Batch("0-1", 0, "/f", "First", 1)};
  for (int i = 1; i <= 60; ++i) batches.push_back(Batch("x", i, "/f", "Taken back", 1, true, true));
  TUndoHistoryDialog dialog(batches);
  ShowActive(&dialog);
  QTreeWidget* list = List(&dialog);
  ASSERT_EQ(list->indexOfTopLevelItem(list->currentItem()), 60);
  EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->currentItem())));
}

// Records the elide mode each column's cells are painted with.
class ElideRecorder : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (element == CE_ItemViewItem) {
      const auto* item = static_cast<const QStyleOptionViewItem*>(option);
      modes[item->index.column()] = item->textElideMode;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
  mutable std::map<int, Qt::TextElideMode> modes;
};

// The text a tooltip shows.
QString ShownToolTip(const QString& tip) {
  if (!Qt::mightBeRichText(tip)) return tip;
  QTextDocument document;
  document.setHtml(tip);
  return document.toPlainText();
}

TEST(UndoHistoryDialogTest, ALongFolderLosesItsMiddle) {
  const std::string folder = "/home/<b>ann</b>/" + std::string(300, 'm') + "/the  end & more";
  const std::string title = "Rename: <i>" + std::string(300, 't');
  TUndoHistoryDialog dialog({Batch("1-1", 0, folder, title.c_str(), 1)});
  QTreeWidget* list = List(&dialog);
  ElideRecorder style;
  list->setStyle(&style);
  ShowActive(&dialog);
  list->grab();
  EXPECT_EQ(style.modes[1], Qt::ElideMiddle);
  EXPECT_EQ(style.modes[2], Qt::ElideRight);
  // Whole, and as it is, in the tooltips.
  EXPECT_EQ(ShownToolTip(list->topLevelItem(0)->toolTip(1)), QString::fromStdString(folder));
  EXPECT_EQ(ShownToolTip(list->topLevelItem(0)->toolTip(2)), QString::fromStdString(title));
}

// The size the dialog opens with where the screen has room for it.
QSize DesignSize(const LayoutScale& scale) { return scale.Size(500, 280); }

// Resizes a shown dialog and lets its layout and the list's header follow.
void ResizeShown(QDialog* dialog, const QSize& size) {
  dialog->resize(size);
  QTest::qWait(0);
  ASSERT_EQ(dialog->size(), size);
}

TEST(UndoHistoryDialogLayout, FitsInTheApplicationFont) {
  for (const int points : {8, 10, 12}) {
    SCOPED_TRACE(points);
    const ApplicationFont applicationFont(points);
    QWidget owner;
    owner.setGeometry(20, 20, 400, 300);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const QSize frame = owner.frameGeometry().size() - owner.geometry().size();
    TUndoHistoryDialog dialog(MixedJournal(), &owner);
    ShowActive(&dialog);
    EXPECT_EQ(dialog.font(), QApplication::font());
    const LayoutScale scale = LayoutScale::ForFont(dialog.font());
    // Never larger than the screen, frame included (the test screen is 800 px wide); without
    // an owner the frame is not known.
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_EQ(dialog.size(), DesignSize(scale).boundedTo(screen.size() - frame));
    EXPECT_LE(dialog.frameGeometry().width(), screen.width());
    EXPECT_LE(dialog.frameGeometry().height(), screen.height());
    EXPECT_EQ(TUndoHistoryDialog(MixedJournal()).size(),
              DesignSize(scale).boundedTo(screen.size()));
    // Even at 12 pt the whole size fits a 1024 x 768 screen.
    EXPECT_LE(DesignSize(scale).width() + frame.width(), 1024);
    EXPECT_LE(DesignSize(scale).height() + frame.height(), 768);
    EXPECT_EQ(dialog.minimumSize(), scale.Size(300, 150));
    EXPECT_GT(dialog.maximumWidth(), DesignSize(scale).width());
    EXPECT_GT(dialog.maximumHeight(), DesignSize(scale).height());
    EXPECT_TRUE(dialog.isSizeGripEnabled());

    ResizeShown(&dialog, DesignSize(scale));
    QTreeWidget* list = List(&dialog);
    const QFontMetrics metrics(list->font());
    // Every column shows its title; time, operations and the undone mark show whole.
    const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int column = 0; column < list->columnCount(); ++column) {
      SCOPED_TRACE(column);
      EXPECT_GE(list->columnWidth(column),
                metrics.horizontalAdvance(list->headerItem()->text(column)) + margins);
      if (column == 1 || column == 2) continue;
      for (int row = 0; row < list->topLevelItemCount(); ++row)
        EXPECT_GE(list->columnWidth(column),
                  metrics.horizontalAdvance(list->topLevelItem(row)->text(column)) + margins);
    }
    // Folder and command are what the user reads; they get the room.
    for (const int wide : {1, 2}) {
      for (const int narrow : {0, 3, 4})
        EXPECT_GT(list->columnWidth(wide), list->columnWidth(narrow)) << wide << " " << narrow;
    }
    EXPECT_EQ(list->header()->length(), list->viewport()->width());
    EXPECT_GE(list->viewport()->height(), 6 * list->visualItemRect(list->topLevelItem(0)).height());

    for (QPushButton* button : {Button(&dialog, "UndoBtn"), Button(&dialog, "CloseBtn")}) {
      EXPECT_GE(button->width(), scale.X(75));
      EXPECT_GE(button->height(), scale.Y(25));
      EXPECT_GE(button->width(), metrics.horizontalAdvance(button->text()));
      EXPECT_TRUE(dialog.rect().contains(button->geometry()));
      EXPECT_FALSE(button->geometry().intersects(list->geometry()));
    }
    EXPECT_LT(Button(&dialog, "UndoBtn")->x(), Button(&dialog, "CloseBtn")->x());

    // Wider or narrower, the folder and the command take the difference.
    const int fixed[] = {list->columnWidth(0), list->columnWidth(3), list->columnWidth(4)};
    const int folder = list->columnWidth(1);
    ResizeShown(&dialog, DesignSize(scale) + QSize(200, 0));
    EXPECT_GT(list->columnWidth(1), folder);
    EXPECT_EQ(list->header()->length(), list->viewport()->width());
    ResizeShown(&dialog, dialog.minimumSize());
    EXPECT_LT(list->columnWidth(1), folder);
    const int after[] = {list->columnWidth(0), list->columnWidth(3), list->columnWidth(4)};
    EXPECT_TRUE(std::equal(std::begin(fixed), std::end(fixed), std::begin(after)));
  }
}

TEST(UndoHistoryDialogOwner, AMinimisedDialogComesBackWithTheMainWindow) {
  QWidget owner;
  owner.setGeometry(100, 50, 800, 600);
  owner.show();
  TUndoHistoryDialog dialog(MixedJournal(), &owner);
  dialog.show();
  dialog.setWindowState(Qt::WindowMinimized);
  owner.setWindowState(Qt::WindowMinimized);
  owner.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(dialog.windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(dialog.isVisible());
  // A title bar without a minimise button.
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(ShowUndoHistoryTest, ReturnsTheChosenBatch) {
  QWidget owner;
  owner.setGeometry(50, 40, 1000, 700);
  owner.show();
  QPoint position;
  QSize size;
  WhenModalOpens([&](TUndoHistoryDialog* dialog) {
    position = dialog->pos();
    size = dialog->size();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Undo History"));
    QTreeWidget* list = List(dialog);
    DoubleClickRow(list, 5);
  });
  EXPECT_EQ(ShowUndoHistory(&owner, MixedJournal()), "1-10");
  const QSize frame = owner.frameGeometry().size() - owner.geometry().size();
  EXPECT_EQ(position, CenteredOver(owner.frameGeometry(), size + frame));
}

TEST(ShowUndoHistoryTest, ClosedReturnsNothing) {
  struct Case {
    const char* name;
    std::vector<JournalBatch> batches;
    void (*close)(TUndoHistoryDialog*);
  };
  const Case cases[] = {
      {"Esc on an undoable row", MixedJournal(),
       [](TUndoHistoryDialog* d) { PressKey(d, Qt::Key_Escape); }},
      {"Close", MixedJournal(),
       [](TUndoHistoryDialog* d) { QTest::mouseClick(Button(d, "CloseBtn"), Qt::LeftButton); }},
      {"Esc on an empty journal", {}, [](TUndoHistoryDialog* d) { PressKey(d, Qt::Key_Escape); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WhenModalOpens([&](TUndoHistoryDialog* dialog) {
      // Undo is offered, and not taken.
      EXPECT_EQ(Button(dialog, "UndoBtn")->isEnabled(), !c.batches.empty());
      c.close(dialog);
    });
    EXPECT_EQ(ShowUndoHistory(nullptr, c.batches), "");
  }
}

}  // namespace
}  // namespace relabo
