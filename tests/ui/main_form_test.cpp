// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_form.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/layout_scale.h"
#include "filelist/file_list_box.h"
#include "navigation/drive_combo_box.h"
#include "navigation/path_label.h"
#include "navigation/volume.h"
#include "tests/support/application_font.h"
#include "tests/support/test_dir.h"
#include "tests/ui/qt_print.h"
#include "ui/about_box.h"
#include "ui/command_pages.h"
#include "ui/elided_label.h"
#include "ui/error_box.h"
#include "ui/help_window.h"
#include "ui/journal_view.h"
#include "fileutil/start_paths.h"
#include "ui/preview_controller.h"
#include "ui/settings.h"
#include "ui/spin_edit.h"

namespace relabo {
namespace {

using test::ApplicationFont;

using Values = std::map<std::string, std::string>;  // "Section/Name" -> stored text

// Answers the next modal dialog once it shows; gives up after a few seconds.
void WhenDialogShows(std::function<void(QDialog*)> answer) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog && ++*tries < 500) return;
    timer->stop();
    timer->deleteLater();
    if (dialog) answer(dialog);
  });
  timer->start(10);
}

// Types a text into the mask prompt and accepts it.
void AnswerPrompt(const QString& text) {
  WhenDialogShows([text](QDialog* dialog) {
    dialog->findChild<QComboBox*>()->setEditText(text);
    dialog->accept();
  });
}

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorBoxHook([this](const QString& message) { m_errors.push_back(message); });
  }
  void TearDown() override {
    m_form.reset();
    SetErrorBoxHook(nullptr);
    // A help window or a menu left open must not reach the next test.
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
  }

  // The window over the test folder (unless values name another), with stored values.
  TMainForm& MakeForm(Values values = {},
                      const std::function<void(TMainForm&)>& beforeShow = nullptr) {
    if (!values.count("Folder/Directory")) values["Folder/Directory"] = m_dir.Root();
    {
      SettingsStore store(SettingsFile());
      for (const auto& [key, value] : values) {
        const size_t slash = key.rfind('/');
        store.WriteString(key.substr(0, slash), key.substr(slash + 1), value);
      }
      store.Sync();
    }
    // Each test has an undo journal of its own.
    ::setenv("XDG_STATE_HOME", m_config.Path("state").c_str(), 1);
    m_form = std::make_unique<TMainForm>(std::make_unique<SettingsStore>(SettingsFile()));
    m_form->SetHelpFile(QStringLiteral(RELABO_HELP_FILE));
    if (beforeShow) beforeShow(*m_form);
    m_form->show();
    m_form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    return *m_form;
  }

  QString SettingsFile() const { return QString::fromStdString(m_config.Path("Relabo.conf")); }

  void Press(QWidget* where, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(where, key, modifiers);
    QApplication::processEvents();
  }

  // After a dialog: the window system would give the window the keyboard back.
  void Reactivate() {
    m_form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
  }

  // Gives a control the focus and waits for it.
  static void Focus(QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(widget->hasFocus()) << widget->objectName().toStdString();
  }

  // The row of an entry's text in the list, -1 when absent.
  int Row(const std::string& text) const {
    for (int i = 0; i < m_form->Files()->Count(); ++i) {
      if (m_form->Files()->ItemText(i) == text) return i;
    }
    return -1;
  }

  test::CurrentFolderGuard m_cwd;
  test::TestDir m_dir;
  test::TestDir m_config;
  std::unique_ptr<TMainForm> m_form;
  std::vector<QString> m_errors;
};

// ---------------------------------------------------------------------------------------------
// Layout

TEST_F(MainFormTest, LayoutFollowsTheFontAndGrowsOnlyTheListAndItsNameColumn) {
  m_dir.CreateFile("a.txt", "a");
  for (const int points : {8, 10, 12}) {
    SCOPED_TRACE(points);
    const ApplicationFont font(points);
    m_form.reset();
    TMainForm& form = MakeForm();
    QApplication::processEvents();
    auto* client = form.findChild<QWidget*>(QStringLiteral("Client"));
    ASSERT_NE(client, nullptr);
    const LayoutScale scale = LayoutScale::ForFont(form.font());
    EXPECT_EQ(form.font().pointSize(), points);
    // At least the scaled design size, and exactly the window's minimum.
    EXPECT_GE(client->width(), scale.X(458));
    EXPECT_GE(client->height(), scale.Y(409));
    EXPECT_EQ(client->size(), client->minimumSize());
    TXFileListBox* files = form.Files();
    EXPECT_EQ(files->width(), client->width());
    // Each header button stands over its column; none over another.
    for (int c = fiFileName; c <= fiAttribute; ++c) {
      SCOPED_TRACE(c);
      QToolButton* button = form.HeaderButton(TFileItem(c));
      const QRect column = files->ColumnRect(TFileItem(c));
      const int left = files->mapTo(client, column.topLeft()).x();
      const QRect over = QRect(button->mapTo(client, QPoint(0, 0)), button->size());
      EXPECT_LE(over.left(), left);
      EXPECT_GE(over.right(), left + column.width() - 1 - scale.X(4));
      EXPECT_LE(over.bottom(), files->mapTo(client, QPoint(0, 0)).y());
      if (c > fiFileName) {
        const QToolButton* before = form.HeaderButton(TFileItem(c - 1));
        EXPECT_LE(before->geometry().right(), button->geometry().left() + 1);
      }
      EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()));
    }
    // Made larger, the list takes the height, the name and the new name columns the width.
    const int listHeight = files->height();
    const int nameWidth =
        files->ColumnRect(fiFileName).width() + files->PreviewColumnRect().width();
    const int previewWidth = files->PreviewColumnRect().width();
    const QRect size = files->ColumnRect(fiSize);
    form.resize(form.size() + QSize(200, 150));
    QApplication::processEvents();
    EXPECT_EQ(files->height(), listHeight + 150);
    EXPECT_EQ(files->ColumnRect(fiFileName).width() + files->PreviewColumnRect().width(),
              nameWidth + 200);
    // Shared by the two.
    EXPECT_EQ(files->PreviewColumnRect().width(), previewWidth + 100);
    EXPECT_EQ(files->ColumnRect(fiSize).width(), size.width());
    EXPECT_EQ(files->width(), client->width());
    // Never smaller than the design.
    form.resize(100, 100);
    QApplication::processEvents();
    EXPECT_EQ(client->size(), client->minimumSize());
  }
}

TEST_F(MainFormTest, StoredSizeIsKeptAndAWindowOffEveryScreenComesBack) {
  m_dir.CreateFile("a.txt");
  TMainForm& form = MakeForm({{"Window/Width", "1400"},
                              {"Window/Height", "900"},
                              {"Window/Left", "-9000"},
                              {"Window/Top", "30000"}});
  EXPECT_EQ(form.size(), QSize(1400, 900));
  const QRect area = form.screen()->availableGeometry();
  EXPECT_TRUE(area.contains(form.frameGeometry().topLeft()));
  m_form.reset();  // saves
  const std::string text = m_config.ReadFile("Relabo.conf");
  EXPECT_NE(text.find("Width=1400"), std::string::npos);
  EXPECT_NE(text.find("Height=900"), std::string::npos);

  // A size below the design opens at the design size.
  TMainForm& small = MakeForm({{"Window/Width", "10"}, {"Window/Height", "10"}});
  EXPECT_EQ(small.size(), small.minimumSizeHint());
}

TEST_F(MainFormTest, CheckedMenuEntriesShowTheirCheckNotTheirIcon) {
  TMainForm& form = MakeForm();
  for (const ActionId id :
       {ActionId::InsertString, ActionId::CopyFiles, ActionId::Reversed, ActionId::SortName}) {
    QAction* action = form.Action(id);
    EXPECT_TRUE(action->isCheckable());
    EXPECT_FALSE(action->isIconVisibleInMenu());
  }
  EXPECT_TRUE(form.Action(ActionId::Execute)->isIconVisibleInMenu());
}

// ---------------------------------------------------------------------------------------------
// Preview

TEST_F(MainFormTest, PreviewShowsTheNewNamesTheBatchWillGive) {
  m_dir.CreateFile("a1.txt", "1");
  m_dir.CreateFile("a2.txt", "2");
  m_dir.CreateFile("b.txt", "b");
  m_dir.CreateFolder("sub");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "5"}, {"Pages/ChangeNumber/Plus", "1"}});
  TXFileListBox* files = form.Files();
  ASSERT_TRUE(form.Action(ActionId::Preview)->isChecked());
  ASSERT_TRUE(files->ShowPreview());
  Focus(files);
  Press(files, Qt::Key_A, Qt::ControlModifier);
  form.Preview()->Update();
  struct Expected {
    const char* name;
    const char* shown;
    PreviewCell::Look look;
    const char* reason;  // a part of it
  };
  const Expected rows[] = {
      {"a1.txt", "a2.txt", PreviewCell::Look::Failed, "a2.txt"},  // a2.txt is still there
      {"a2.txt", "a3.txt", PreviewCell::Look::Plain, ""},
      {"b.txt", "b.txt", PreviewCell::Look::Unchanged, ""},  // no number: stays
      {"[sub]", "", PreviewCell::Look::Plain, ""},
      {"[..]", "", PreviewCell::Look::Plain, ""},
  };
  for (const Expected& r : rows) {
    SCOPED_TRACE(r.name);
    const PreviewCell cell = files->PreviewCellAt(Row(r.name));
    EXPECT_EQ(cell.text, r.shown);
    EXPECT_EQ(cell.look, r.look);
    EXPECT_NE(cell.reason.find(r.reason), std::string::npos) << cell.reason;
  }
  EXPECT_TRUE(files->NameToolTip(Row("a1.txt")).contains(QStringLiteral("a2.txt")));
  EXPECT_EQ(form.StatusNote(), QStringLiteral("1 to rename, 1 conflict"));
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 3 file(s)"));

  // What was shown is what happens.
  Press(files, Qt::Key_F9);
  EXPECT_TRUE(m_dir.Exists("a1.txt"));
  EXPECT_TRUE(m_dir.Exists("a3.txt"));
  EXPECT_EQ(form.StatusNote(), QStringLiteral("1 of 3 renames failed"));
  // Nothing marked after the re-read: no preview, and the batch's note stays.
  form.Preview()->Update();
  EXPECT_EQ(files->PreviewCellAt(Row("a1.txt")).text, "");
  EXPECT_EQ(form.StatusNote(), QStringLiteral("1 of 3 renames failed"));
}

TEST_F(MainFormTest, PreviewFollowsEveryChangeAtOnce) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.txt");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "0"}});
  TXFileListBox* files = form.Files();
  auto cell = [&](const char* name) {
    QApplication::processEvents();  // the changes of a turn are planned once
    return files->PreviewCellAt(Row(name)).text;
  };
  files->SetMarked(Row("a.txt"), true);
  form.FilesChange();
  EXPECT_EQ(cell("a.txt"), "a.txt");
  EXPECT_EQ(cell("b.txt"), "");
  // Each keystroke in a field.
  Focus(form.Pages()->InsertString());
  QTest::keyClicks(form.Pages()->InsertString(), QStringLiteral("x_"));
  EXPECT_EQ(cell("a.txt"), "x_a.txt");
  QTest::keyClick(form.Pages()->InsertFrom(), Qt::Key_Up);
  EXPECT_EQ(cell("a.txt"), "ax_.txt");
  // Another command.
  Press(form.Pages()->InsertString(), Qt::Key_7, Qt::ControlModifier);
  form.Pages()->RenameName()->setText(QStringLiteral("n"));
  EXPECT_EQ(cell("a.txt"), "n001.txt");
  // Marking, and the list's order, which numbers the files.
  files->SetMarked(Row("b.txt"), true);
  form.FilesChange();
  EXPECT_EQ(cell("b.txt"), "n002.txt");
  Press(files, Qt::Key_F1, Qt::ControlModifier);  // name descending: b first
  EXPECT_EQ(cell("b.txt"), "n001.txt");
  EXPECT_EQ(cell("a.txt"), "n002.txt");
  // Copy Files: the first copy and how many more.
  Press(files, Qt::Key_8, Qt::ControlModifier);
  form.Pages()->CopyNumber()->SetText(QStringLiteral("3"));
  EXPECT_EQ(cell("a.txt"), "a001.txt + 2 more");
}

// Replace String with a regular expression: the preview follows the box and each keystroke,
// shows a bad pattern's error at once, and F9 ends the batch with it before anything runs.
TEST_F(MainFormTest, PreviewShowsARegularExpressionReplaceLive) {
  m_dir.CreateFile("img12_7.txt");
  m_dir.CreateFile("b.txt");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "2"}});
  TXFileListBox* files = form.Files();
  auto cell = [&](const char* name) {
    QApplication::processEvents();
    return files->PreviewCellAt(Row(name));
  };
  files->SetMarked(Row("img12_7.txt"), true);
  form.FilesChange();
  TCommandPages* pages = form.Pages();
  QTest::keyClicks(pages->ReplaceOrigString(), QStringLiteral("(\\d+)"));
  QTest::keyClicks(pages->ReplaceNewString(), QStringLiteral("<$1>"));
  EXPECT_EQ(cell("img12_7.txt").text, "img12_7.txt");  // a literal "(\d+)" is not there
  pages->ReplaceRegex()->click();
  EXPECT_EQ(cell("img12_7.txt").text, "img<12>_<7>.txt");
  QTest::keyClick(pages->ReplaceOrigString(), Qt::Key_ParenLeft);
  const PreviewCell bad = cell("img12_7.txt");
  EXPECT_EQ(bad.look, PreviewCell::Look::Message);
  EXPECT_EQ(bad.text, "'(\\d+)(' is not a valid regular expression at (6)");
  EXPECT_EQ(bad.reason, bad.text);

  Focus(files);
  Press(files, Qt::Key_F9);
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(m_errors[0], QStringLiteral("'(\\d+)(' is not a valid regular expression at (6)"));
  EXPECT_TRUE(m_dir.Exists("img12_7.txt"));

  // A name on which the pattern runs too long says so in its row; the others are planned.
  const std::string slow = std::string(40, 'a') + "b.txt";
  m_dir.CreateFile(slow);
  Press(files, Qt::Key_F5);
  pages->ReplaceOrigString()->setText(QStringLiteral("^(a+)+$|\\d+"));
  files->SetMarked(Row(slow), true);
  files->SetMarked(Row("img12_7.txt"), true);
  form.FilesChange();
  const PreviewCell timedOut = cell(slow.c_str());
  EXPECT_EQ(timedOut.look, PreviewCell::Look::Message);
  EXPECT_EQ(timedOut.text, "the regular expression takes too long on this name");
  EXPECT_EQ(cell("img12_7.txt").text, "img<>_<>.txt");  // group 1 took no part
}

TEST_F(MainFormTest, PreviewCanBeHiddenAndTheChoiceIsKept) {
  m_dir.CreateFile("a.txt");
  TMainForm& form = MakeForm();
  TXFileListBox* files = form.Files();
  const int withPreview = files->width();
  EXPECT_TRUE(form.findChild<QLabel*>(QStringLiteral("PreviewHeader"))->isVisible());
  Press(files, Qt::Key_P, Qt::ControlModifier);
  EXPECT_FALSE(form.Action(ActionId::Preview)->isChecked());
  EXPECT_FALSE(files->ShowPreview());
  EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("PreviewHeader"))->isVisible());
  EXPECT_LT(files->width(), withPreview);
  EXPECT_TRUE(files->PreviewColumnRect().isNull());
  // The window at its design size follows: narrower by the column.
  auto* client = form.findChild<QWidget*>(QStringLiteral("Client"));
  EXPECT_EQ(client->size(), client->minimumSize());
  EXPECT_EQ(files->width(), client->width());
  files->SetMarked(Row("a.txt"), true);
  form.FilesChange();
  QApplication::processEvents();
  EXPECT_TRUE(form.StatusNote().isEmpty());
  m_form.reset();
  EXPECT_NE(m_config.ReadFile("Relabo.conf").find("Preview=0"), std::string::npos);
  TMainForm& again = MakeForm();
  EXPECT_FALSE(again.Files()->ShowPreview());
}

TEST_F(MainFormTest, ResolvingChainsRenamesAChainInTheRightOrder) {
  for (int i = 1; i <= 9; ++i)
    m_dir.CreateFile("a" + std::to_string(i) + ".txt", std::to_string(i));
  TMainForm& form = MakeForm({{"Pages/ActivePage", "5"}, {"Pages/ChangeNumber/Plus", "1"}});
  form.Action(ActionId::ResolveChains)->trigger();
  ASSERT_TRUE(form.Action(ActionId::ResolveChains)->isChecked());
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  form.Preview()->Update();
  EXPECT_EQ(form.StatusNote(), QStringLiteral("9 to rename"));
  Press(form.Files(), Qt::Key_F9);
  for (int i = 2; i <= 10; ++i) {
    EXPECT_EQ(m_dir.ReadFile("a" + std::to_string(i) + ".txt"), std::to_string(i - 1)) << i;
  }
  EXPECT_FALSE(m_dir.Exists("a1.txt"));
  m_form.reset();
  EXPECT_NE(m_config.ReadFile("Relabo.conf").find("ResolveChains=1"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Shortcuts

TEST_F(MainFormTest, EveryShortcutReachesItsActionFromEveryControl) {
  m_dir.CreateFile("a.txt", "a");
  TMainForm& form = MakeForm();
  // Only the way of the keys is tested here, so the handlers are taken off.
  std::map<QAction*, int> hits;
  for (int i = 0; i < kActionCount; ++i) {
    QAction* action = form.Action(ActionId(i));
    QObject::disconnect(action, &QAction::triggered, &form, nullptr);
    QObject::connect(action, &QAction::triggered, [&hits, action] { ++hits[action]; });
  }
  // Undo is enabled while there is a batch to take back.
  form.Action(ActionId::Undo)->setEnabled(true);
  QWidget* places[] = {form.Files(), form.Pages()->InsertString(), form.Pages()->InsertFrom(),
                       form.Drive()};
  int checked = 0;
  for (QWidget* place : places) {
    SCOPED_TRACE(place->objectName().toStdString());
    for (int i = 0; i < kActionCount; ++i) {
      QAction* action = form.Action(ActionId(i));
      for (const QKeySequence& shortcut : action->shortcuts()) {
        SCOPED_TRACE(action->objectName().toStdString() + " " + shortcut.toString().toStdString());
        Focus(place);
        hits.clear();
        const QKeyCombination key = shortcut[0];
        QTest::keyClick(place, key.key(), key.keyboardModifiers());
        // Ctrl+Z in a text field is the field's own undo.
        const bool own = action == form.Action(ActionId::Undo) &&
                         (place == form.Pages()->InsertString() ||
                          place == form.Pages()->InsertFrom());
        EXPECT_EQ(hits[action], own ? 0 : 1);
        EXPECT_EQ(hits.size(), 1u);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 4 * 30);

  // The numeric pad's "*", "+" and "-" in the list, which still sees the key.
  const std::pair<Qt::Key, ActionId> pad[] = {{Qt::Key_Asterisk, ActionId::SelectInvert},
                                              {Qt::Key_Plus, ActionId::ExpandSelection},
                                              {Qt::Key_Minus, ActionId::ShrinkSelection}};
  for (const auto& [key, id] : pad) {
    Focus(form.Files());
    hits.clear();
    QTest::keyClick(form.Files(), key, Qt::KeypadModifier);
    EXPECT_EQ(hits[form.Action(id)], 1) << form.Action(id)->objectName().toStdString();
  }
  // Typed on the main keyboard they are no shortcut.
  hits.clear();
  QTest::keyClick(form.Files(), Qt::Key_Plus);
  EXPECT_TRUE(hits.empty());
}

TEST_F(MainFormTest, CtrlAInATextFieldMarksAllFiles) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.txt");
  TMainForm& form = MakeForm({{"Pages/InsertString/String", "abc"}});
  QLineEdit* field = form.Pages()->InsertString();
  Focus(field);
  field->setCursorPosition(1);
  Press(field, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.Files()->MarkedCount(), 2);
  EXPECT_FALSE(field->hasSelectedText());
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 2 file(s)"));
}

// ---------------------------------------------------------------------------------------------
// Commands and sorting

TEST_F(MainFormTest, SelectCommandShowsTheCommandEverywhereAndKeepsTheFocus) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Relabo 2.2 - Insert / Add String"));
  Focus(form.Files());
  const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4,
                            Qt::Key_5, Qt::Key_6, Qt::Key_7, Qt::Key_8};
  for (int i : {3, 7, 0, 5, 5, 1, 6, 2, 4}) {
    SCOPED_TRACE(i);
    Press(form.Files(), digits[i], Qt::ControlModifier);
    EXPECT_EQ(form.Command(), i);
    EXPECT_EQ(form.Pages()->currentIndex(), i);
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("Relabo 2.2 - ") + QString::fromLatin1(kCommandNames[size_t(i)]));
    EXPECT_EQ(HelpContextOf(form.Pages()), 10 + i);
    for (int b = 0; b < kCommandCount; ++b) {
      EXPECT_EQ(form.ToolButton(8 + b)->isChecked(), b == i) << b;
      EXPECT_EQ(form.ToolButton(8 + b)->toolTip(), QString::fromLatin1(kCommandNames[size_t(b)]));
    }
    int checkedEntries = 0;
    for (QAction* entry :
         form.MainMenu()->findChild<QMenu*>(QStringLiteral("CommandMenu"))->actions()) {
      checkedEntries += entry->isChecked();
    }
    EXPECT_EQ(checkedEntries, 1);
    EXPECT_TRUE(form.Files()->hasFocus());
  }
  // With the focus in a field of the page that goes, a field of the new page takes it.
  Press(form.Files(), Qt::Key_1, Qt::ControlModifier);
  Focus(form.Pages()->InsertString());
  Press(form.Pages()->InsertString(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_TRUE(form.Pages()->InsertString()->hasFocus());
  Press(form.Pages()->InsertString(), Qt::Key_3, Qt::ControlModifier);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_TRUE(form.Pages()->currentWidget()->isAncestorOf(QApplication::focusWidget()));
}

TEST_F(MainFormTest, SortHeaderAndChecksFollowClicksAndKeys) {
  m_dir.CreateFile("small.txt", "1");
  m_dir.CreateFile("big.txt", "123456789");
  m_dir.CreateFile("middle.txt", "12345");
  TMainForm& form = MakeForm();
  const QString dash = QString::fromUtf8("\u2014");
  struct Step {
    const char* name;
    std::function<void()> act;
    TFileItem column;
    TSortOrder order;
    const char* caption;  // of the sort column, without the mark
  };
  auto click = [&form](TFileItem column) {
    return [&form, column] { QTest::mouseClick(form.HeaderButton(column), Qt::LeftButton); };
  };
  auto key = [this, &form](Qt::Key k) {
    return [this, &form, k] { Press(form.Files(), k, Qt::ControlModifier); };
  };
  const Step steps[] = {
      {"start", [] {}, fiFileName, soAscending, "Name"},
      {"click on the sort column reverses", click(fiFileName), fiFileName, soDescending, "Name"},
      {"another column keeps the order", click(fiSize), fiSize, soDescending, "Size"},
      {"Ctrl+F3", key(Qt::Key_F3), fiDate, soDescending, "Date"},
      {"Ctrl+F3 again", key(Qt::Key_F3), fiDate, soAscending, "Date"},
      {"Ctrl+R", key(Qt::Key_R), fiDate, soDescending, "Date"},
      {"Ctrl+F2", key(Qt::Key_F2), fiSize, soDescending, "Size"},
      {"Ctrl+F5", key(Qt::Key_F5), fiAttribute, soDescending, "Attr"},
      {"Ctrl+F4", key(Qt::Key_F4), fiTime, soDescending, "Time"},
      {"Ctrl+F1", key(Qt::Key_F1), fiFileName, soDescending, "Name"},
      {"Ctrl+R again", key(Qt::Key_R), fiFileName, soAscending, "Name"},
      {"click Size", click(fiSize), fiSize, soAscending, "Size"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_EQ(form.Files()->SortBy(), step.column);
    EXPECT_EQ(form.Files()->SortOrder(), step.order);
    EXPECT_EQ(form.Action(ActionId::Reversed)->isChecked(), step.order == soDescending);
    for (int c = fiFileName; c <= fiAttribute; ++c) {
      const QString plain = QString::fromLatin1(kHeaderCaptions[size_t(c)]);
      const QString expected =
          c == step.column ? plain + (step.order == soAscending ? QStringLiteral("+") : dash)
                           : plain;
      EXPECT_EQ(form.HeaderButton(TFileItem(c))->text(), expected) << c;
      EXPECT_EQ(form.HeaderButton(TFileItem(c))->isChecked(), c == step.column) << c;
    }
    EXPECT_EQ(QString::fromLatin1(step.caption), QString::fromLatin1(kHeaderCaptions[step.column]));
  }
  // The list follows: by size ascending, the smallest file first.
  EXPECT_EQ(form.Files()->ItemText(Row("small.txt")), "small.txt");
  EXPECT_LT(Row("small.txt"), Row("middle.txt"));
  EXPECT_LT(Row("middle.txt"), Row("big.txt"));
}

// ---------------------------------------------------------------------------------------------
// Marks and the status line

TEST_F(MainFormTest, StatusLineAfterRereadAndSelectAllWithFolders) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.doc");
  m_dir.CreateFolder("sub");
  m_dir.CreateFolder("other.dir");
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 2 file(s)"));
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 0 file(s)"));

  m_dir.CreateFile("c.txt");
  Focus(form.Files());
  Press(form.Files(), Qt::Key_F5);
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 3 file(s)"));

  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 3 file(s)"));
  for (const char* folder : {"[..]", "[sub]", "[other.dir]"}) {
    EXPECT_FALSE(form.Files()->IsMarked(Row(folder))) << folder;
  }
  for (const char* file : {"a.txt", "b.doc", "c.txt"}) {
    EXPECT_TRUE(form.Files()->IsMarked(Row(file))) << file;
  }

  // Inverting toggles the files only; a marked folder keeps its mark.
  form.Files()->SetMarked(Row("[sub]"), true);
  form.Files()->SetMarked(Row("a.txt"), false);
  Press(form.Files(), Qt::Key_Asterisk);  // the main keyboard's "*" is no command
  QTest::keyClick(form.Files(), Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_TRUE(form.Files()->IsMarked(Row("a.txt")));
  EXPECT_FALSE(form.Files()->IsMarked(Row("b.doc")));
  EXPECT_TRUE(form.Files()->IsMarked(Row("[sub]")));
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 2 file(s)"));

  Press(form.Files(), Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(form.Files()->MarkedCount(), 0);
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 0 file(s)"));

  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F5);
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 0 file(s)"));
}

TEST_F(MainFormTest, MarksAndFocusStayWithTheirFilesAcrossEverySort) {
  m_dir.CreateFile("a.txt", "333", 3000);
  m_dir.CreateFile("b.txt", "1", 1000);
  m_dir.CreateFile("c.txt", "22", 2000);
  m_dir.CreateFile("d.txt", "4444", 4000);
  TMainForm& form = MakeForm({{"Pages/ActivePage", "6"},
                              {"Pages/RenameFiles/Name", "x"},
                              {"Pages/RenameFiles/Digits", "1"}});
  TXFileListBox* files = form.Files();
  files->SetMarked(Row("a.txt"), true);
  files->SetMarked(Row("c.txt"), true);
  files->SetFocused(Row("d.txt"));
  form.FilesChange();
  for (const Qt::Key key :
       {Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F1, Qt::Key_F2}) {
    SCOPED_TRACE(key);
    Press(files, key, Qt::ControlModifier);
    EXPECT_TRUE(files->IsMarked(Row("a.txt")));
    EXPECT_TRUE(files->IsMarked(Row("c.txt")));
    EXPECT_FALSE(files->IsMarked(Row("b.txt")));
    EXPECT_FALSE(files->IsMarked(Row("d.txt")));
    EXPECT_EQ(files->MarkedCount(), 2);
    EXPECT_EQ(files->Focused(), Row("d.txt"));
    EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 2 file(s)"));
  }
  // By size ascending: c (2 bytes) comes before a (3), and so do their numbers.
  ASSERT_EQ(files->SortBy(), fiSize);
  ASSERT_LT(Row("c.txt"), Row("a.txt"));
  Press(files, Qt::Key_F9);
  EXPECT_EQ(m_dir.ReadFile("x1.txt"), "22");
  EXPECT_EQ(m_dir.ReadFile("x2.txt"), "333");
  EXPECT_TRUE(m_dir.Exists("b.txt"));
  EXPECT_TRUE(m_dir.Exists("d.txt"));
}

TEST_F(MainFormTest, MarkingKeepsTheTopRow) {
  for (int i = 0; i < 200; ++i) m_dir.CreateFile("f" + std::to_string(1000 + i) + ".txt");
  TMainForm& form = MakeForm();
  form.Files()->SetTopIndex(120);
  QApplication::processEvents();
  const int top = form.Files()->TopIndex();
  ASSERT_GT(top, 100);
  form.SelectAllFiles();
  EXPECT_EQ(form.Files()->TopIndex(), top);
  form.InvertFileSelection();
  EXPECT_EQ(form.Files()->TopIndex(), top);
  EXPECT_EQ(form.Files()->MarkedCount(), 0);
}

TEST_F(MainFormTest, ExpandAndShrinkMarkByMaskAndAnInvalidMaskChangesNothing) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.bak");
  m_dir.CreateFile("noext");
  m_dir.CreateFolder("sub");
  TMainForm& form = MakeForm();
  Focus(form.Files());

  AnswerPrompt(QStringLiteral("*"));
  QTest::keyClick(form.Files(), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(form.Files()->MarkedCount(), form.Files()->Count());
  EXPECT_EQ(form.ExpandHistory().front(), "*");

  AnswerPrompt(QStringLiteral("*.bak"));
  QTest::keyClick(form.Files(), Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_FALSE(form.Files()->IsMarked(Row("b.bak")));
  EXPECT_TRUE(form.Files()->IsMarked(Row("a.txt")));
  EXPECT_TRUE(form.Files()->IsMarked(Row("[sub]")));
  EXPECT_EQ(form.StatusText(1),
            QStringLiteral("Selected: %1 file(s)").arg(form.Files()->Count() - 1));

  form.UnselectAllEntries();
  AnswerPrompt(QStringLiteral("[a-"));
  form.Action(ActionId::ExpandSelection)->trigger();
  EXPECT_EQ(form.Files()->MarkedCount(), 0);
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_TRUE(m_errors[0].contains(QStringLiteral("is an invalid mask")))
      << m_errors[0].toStdString();
  EXPECT_EQ(form.ExpandHistory().front(), "[a-");
}

TEST_F(MainFormTest, FilterAndAllFilesSetTheListMask) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.doc");
  TMainForm& form = MakeForm();
  AnswerPrompt(QStringLiteral("*.txt"));
  Press(form.Files(), Qt::Key_F12, Qt::ControlModifier);
  Reactivate();
  EXPECT_EQ(form.Files()->Mask(), "*.txt");
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 1 file(s)"));
  EXPECT_EQ(form.FolderLabel()->Caption(), QString::fromStdString(m_dir.Root() + "/*.txt"));
  Press(form.Files(), Qt::Key_F10, Qt::ControlModifier);
  EXPECT_EQ(form.Files()->Mask(), "*.*");
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 2 file(s)"));
}

// ---------------------------------------------------------------------------------------------
// Focus, the folder bar and the context menu

TEST_F(MainFormTest, EscSwitchesTheFocusBetweenListAndPage) {
  TMainForm& form = MakeForm();
  QLineEdit* field = form.Pages()->InsertString();
  Focus(field);
  Press(field, Qt::Key_Escape);
  EXPECT_TRUE(form.Files()->hasFocus());
  Press(form.Files(), Qt::Key_Escape);
  EXPECT_TRUE(field->hasFocus());
  // From the volume selector, Esc goes to the list as well.
  Focus(form.Drive());
  Press(form.Drive(), Qt::Key_Escape);
  EXPECT_TRUE(form.Files()->hasFocus());
}

TEST_F(MainFormTest, FolderBarIsNavyOnlyWhileTheListHasTheFocus) {
  TMainForm& form = MakeForm();
  auto colours = [&form] {
    return std::make_pair(form.FolderPanel()->palette().color(QPalette::Window).name(),
                          form.FolderLabel()->palette().color(QPalette::WindowText).name());
  };
  Focus(form.Files());
  EXPECT_EQ(colours(), std::make_pair(QStringLiteral("#000080"), QStringLiteral("#ffffff")));
  Focus(form.Pages()->InsertString());
  EXPECT_EQ(colours(), std::make_pair(QStringLiteral("#808080"), QStringLiteral("#c0c0c0")));
  Focus(form.Files());
  // A menu opening over the list leaves it the window's focus.
  form.FilesPopupMenu()->popup(form.mapToGlobal(QPoint(10, 10)));
  QApplication::processEvents();
  EXPECT_EQ(colours().first, QStringLiteral("#000080"));
  form.FilesPopupMenu()->close();
}

TEST_F(MainFormTest, ContextMenuOpensOnlyOverAnEntryOfTheFocusedList) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.txt");
  TMainForm& form = MakeForm();
  TXFileListBox* files = form.Files();
  QMenu* menu = form.FilesPopupMenu();
  auto rowCentre = [files](int row) {
    return files->visualRect(files->model()->index(row, 0)).center();
  };
  const int b = Row("b.txt");

  // Without the focus: nothing, and the marks stay.
  Focus(form.Pages()->InsertString());
  QTest::mouseClick(files->viewport(), Qt::RightButton, {}, rowCentre(b));
  EXPECT_FALSE(menu->isVisible());

  // Focused, over an entry: that entry is focused, the marks stay, the menu opens.
  Focus(files);
  files->SetMarked(Row("a.txt"), true);
  QTest::mouseClick(files->viewport(), Qt::RightButton, {}, rowCentre(b));
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(files->Focused(), b);
  EXPECT_TRUE(files->IsMarked(Row("a.txt")));
  EXPECT_FALSE(files->IsMarked(b));
  const QList<QAction*> entries = menu->actions();
  ASSERT_EQ(entries.size(), 4);
  EXPECT_EQ(entries[0], form.Action(ActionId::Extension));
  EXPECT_EQ(entries[1], form.Action(ActionId::Delete));
  EXPECT_TRUE(entries[2]->isSeparator());
  EXPECT_EQ(entries[3], form.Action(ActionId::Properties));
  menu->close();

  // Focused, below the last entry: nothing.
  QTest::mouseClick(files->viewport(), Qt::RightButton, {},
                    QPoint(20, files->viewport()->height() - 3));
  EXPECT_FALSE(menu->isVisible());
  // The left button still works as a list's.
  QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, rowCentre(b));
  EXPECT_TRUE(files->IsMarked(b));
}

// ---------------------------------------------------------------------------------------------
// Volumes

TEST_F(MainFormTest, TheVolumeOfTheFolderIsShownAndApplyingItOpensItsTop) {
  m_dir.CreateFile("a.txt");
  TMainForm& form = MakeForm();
  const std::string volume = VolumeOf(ListVolumes(), m_dir.Root());
  ASSERT_FALSE(volume.empty());
  EXPECT_EQ(form.Drive()->Drive(), volume);
  EXPECT_EQ(form.Files()->Directory(), m_dir.Root());  // not moved to the volume's top at start

  int scans = 0;
  auto update = form.Files()->OnUpdateContent;
  form.Files()->OnUpdateContent = [&] {
    ++scans;
    update();
  };
  form.ApplyDrive();
  EXPECT_EQ(form.Files()->Directory(), volume);
  EXPECT_EQ(form.LastDrive(), volume);
  EXPECT_EQ(scans, 1);
  form.ApplyDrive();  // its top is shown already: no re-read
  EXPECT_EQ(scans, 1);
}

TEST_F(MainFormTest, AltF1DropsTheVolumeListAndEscClosesItWithoutChange) {
  TMainForm& form = MakeForm();
  const std::string before = form.Files()->Directory();
  Focus(form.Files());
  Press(form.Files(), Qt::Key_F1, Qt::AltModifier);
  EXPECT_TRUE(form.Drive()->hasFocus() || form.Drive()->view()->isVisible());
  EXPECT_TRUE(form.Drive()->view()->isVisible());
  QTest::keyClick(form.Drive()->view(), Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_FALSE(form.Drive()->view()->isVisible());
  EXPECT_EQ(form.Files()->Directory(), before);
  EXPECT_TRUE(m_errors.empty());
}

// ---------------------------------------------------------------------------------------------
// Help and About

TEST(HelpLookup, FirstNumberFromTheEntryUpThroughItsMenus) {
  QMenu main(QStringLiteral("Main"));
  main.setProperty(kHelpContextProperty, 30);
  QMenu* sub = main.addMenu(QStringLiteral("Sub"));
  QAction own(QStringLiteral("own"));
  own.setProperty(kHelpContextProperty, 7);
  QAction none(QStringLiteral("none"));
  QAction deep(QStringLiteral("deep"));
  QAction elsewhere(QStringLiteral("elsewhere"));
  main.addAction(&own);
  main.addAction(&none);
  sub->addAction(&deep);
  QMenu popup;
  popup.setProperty(kHelpContextProperty, 99);
  popup.addAction(&none);
  popup.addAction(&elsewhere);

  struct Case {
    const char* name;
    const QAction* entry;
    int context;
  };
  const Case cases[] = {
      {"own number", &own, 7},
      {"menu's number, main menu first", &none, 30},
      {"submenu without number takes the menu's", &deep, 30},
      {"only in the context menu", &elsewhere, 99},
      {"in no menu", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MenuEntryHelpContext(c.entry, {&main, &popup}), c.context);
  }
  sub->setProperty(kHelpContextProperty, 40);
  EXPECT_EQ(MenuEntryHelpContext(&deep, {&main, &popup}), 40);
}

TEST_F(MainFormTest, F1OpensTheHelpAtTheTopicOfTheFocusedControl) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(WidgetHelpContext(form.Files()), 1);
  EXPECT_EQ(WidgetHelpContext(form.FolderLabel()), 1);
  EXPECT_EQ(WidgetHelpContext(form.HeaderButton(fiSize)), 1);
  EXPECT_EQ(WidgetHelpContext(form.Drive()), 20);
  EXPECT_EQ(WidgetHelpContext(form.Pages()->InsertFrom()), 10);
  struct Case {
    QWidget* place;
    int command;  // the page shown, -1 to leave it
    int context;
  };
  const Case cases[] = {
      {form.Files(), -1, 1},
      {form.Drive(), -1, 20},
      {form.Pages()->InsertFrom(), -1, 10},
      {form.Pages()->RenameName(), 6, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.place->objectName().toStdString());
    if (c.command >= 0) form.SelectCommand(c.command);
    Focus(c.place);
    Press(c.place, Qt::Key_F1);
    ASSERT_NE(form.HelpWindow(), nullptr);
    EXPECT_TRUE(form.HelpWindow()->isVisible());
    EXPECT_TRUE(form.HelpWindow()->Loaded());
    EXPECT_EQ(form.HelpWindow()->ShownContext(), c.context);
    form.HelpWindow()->close();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
  }
}

TEST_F(MainFormTest, F1InAnOpenMenuOpensTheTopicOfTheHighlightedEntry) {
  TMainForm& form = MakeForm();
  struct Case {
    const char* menu;
    ActionId entry;
    int context;
  };
  const Case cases[] = {
      {"CommandMenu", ActionId::ChangeCase, 32}, {"CommandMenu", ActionId::Execute, 32},
      {"FileMenu", ActionId::Properties, 30},    {"MarkMenu", ActionId::SelectInvert, 31},
      {"ShowMenu", ActionId::SortSize, 33},      {"HelpMenu", ActionId::About, 34},
      {"FilesPopuMenu", ActionId::Delete, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.menu);
    auto* menu = form.findChild<QMenu*>(QString::fromLatin1(c.menu));
    ASSERT_NE(menu, nullptr);
    menu->popup(form.mapToGlobal(QPoint(20, 20)));
    QApplication::processEvents();
    menu->setActiveAction(form.Action(c.entry));
    QTest::keyClick(menu, Qt::Key_F1);
    QApplication::processEvents();
    ASSERT_NE(form.HelpWindow(), nullptr);
    EXPECT_EQ(form.HelpWindow()->ShownContext(), c.context);
    EXPECT_FALSE(menu->isVisible());
  }
}

TEST(HelpFile, HasATopicForEveryContextNumberAndOpensAtIt) {
  QFile file(QStringLiteral(RELABO_HELP_FILE));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  for (int context : {1, 10, 11, 12, 13, 14, 15, 16, 17, 20, 30, 31, 32, 33, 34}) {
    EXPECT_TRUE(text.contains(QStringLiteral("id=\"context-%1\"").arg(context))) << context;
  }
  THelpWindow window;
  window.SetHelpFile(QStringLiteral(RELABO_HELP_FILE));
  window.resize(400, 300);
  window.ShowContext(34);
  QApplication::processEvents();
  EXPECT_TRUE(window.Loaded());
  EXPECT_GT(window.Browser()->verticalScrollBar()->value(), 0);
  window.ShowContents();
  EXPECT_EQ(window.Browser()->verticalScrollBar()->value(), 0);
}

TEST(HelpFile, AMissingFileIsSaidInTheWindow) {
  test::TestDir dir;
  EXPECT_EQ(LocateHelpFile(QString::fromStdString(dir.Root())),
            QString::fromStdString(dir.Path(kHelpFileName)));
  // The installed layout: bin/ and the help folder as the install rules place them.
  EXPECT_EQ(InstalledHelpFolder(), QStringLiteral("../share/relabo"));
  dir.CreateFile("share/relabo/RelaboEn.html", "<p>installed</p>");
  dir.CreateFolder("bin");
  EXPECT_EQ(LocateHelpFile(QString::fromStdString(dir.Path("bin"))),
            QString::fromStdString(dir.Path("share/relabo/RelaboEn.html")));

  THelpWindow window;
  window.SetHelpFile(QString::fromStdString(dir.Path("nothing/RelaboEn.html")));
  window.ShowContents();
  EXPECT_FALSE(window.Loaded());
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Browser()->toPlainText().contains(QStringLiteral("missing")));
}

bool g_linkOpened = false;
QUrl g_openedLink;
bool RecordLink(const QUrl& url) {
  g_linkOpened = true;
  g_openedLink = url;
  return false;
}

TEST(AboutBox, ShowsTheProgramAndClosesWithEnterOrEsc) {
  QWidget owner;
  owner.setGeometry(100, 100, 458, 409);
  TAboutForm::SetLinkOpener(&RecordLink);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Enter}) {
    SCOPED_TRACE(key);
    TAboutForm box(&owner);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About Relabo"));
    EXPECT_EQ(box.ApplicationTitle()->text(), QStringLiteral("Relabo 2.2"));
    EXPECT_TRUE(box.ApplicationTitle()->font().bold());
    const LayoutScale scale = LayoutScale::ForFont(box.font());
    EXPECT_EQ(box.width(), scale.X(279));
    EXPECT_GE(box.height(), scale.Y(164));
    // Frame over frame; the owner has one once it has a native window.
    const QRect o = owner.frameGeometry();
    const QSize outer = box.size() + (o.size() - owner.size());
    EXPECT_EQ(box.pos(), QPoint(o.x() + (o.width() - outer.width()) / 2,
                                o.y() + (o.height() - outer.height()) / 2));
    box.show();
    // A click on the note opens the mail link; the box stays.
    g_linkOpened = false;
    QTest::mouseClick(box.AboutInfo(), Qt::LeftButton);
    EXPECT_TRUE(g_linkOpened);
    EXPECT_EQ(g_openedLink.scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(box.isVisible());
    QTest::keyClick(box.OkBtn(), key);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
  }

  // Laid out in the application font: each control in its scaled place, nothing cut or covered,
  // and the box's frame centred over the main window's frame.
  struct FontCase {
    int points;
    int wordSpacing;  // pixels between words: the note needs more lines than it was laid out for
  };
  for (const FontCase& fc : {FontCase{8, 0}, FontCase{10, 0}, FontCase{12, 0}, FontCase{10, 20}}) {
    SCOPED_TRACE(testing::Message() << fc.points << " pt, word spacing " << fc.wordSpacing);
    const ApplicationFont applicationFont(fc.points, fc.wordSpacing);
    QWidget main;
    main.setGeometry(120, 90, 701, 503);
    main.show();
    TAboutForm box(&main);
    box.show();
    EXPECT_EQ(box.font(), QApplication::font());
    const LayoutScale scale = LayoutScale::ForFont(box.font());
    const QRect note = scale.Rect(16, 72, 247, 39);
    const int grown = std::max(0, box.AboutInfo()->heightForWidth(note.width()) - note.height());
    EXPECT_EQ(box.size(), scale.Size(279, 164) + QSize(0, grown));
    if (fc.wordSpacing > 0) {
      EXPECT_GT(grown, 0);
    }
    struct Control {
      const char* name;
      QRect design;
      int grows, moves;  // by the note's extra lines
    };
    const Control controls[] = {
        {"AppImage", QRect(16, 8, 32, 32), 0, 0},
        {"ApplicationTitle", QRect(47, 16, 185, 16), 0, 0},
        {"SecondLine", QRect(16, 48, 249, 16), 0, 0},
        {"AboutInfo", QRect(16, 72, 247, 39), grown, 0},
        {"OkBtn", QRect(102, 128, 75, 25), 0, grown},
    };
    std::vector<QRect> placed;
    for (const Control& c : controls) {
      SCOPED_TRACE(c.name);
      const auto* control = box.findChild<QWidget*>(QString::fromLatin1(c.name));
      ASSERT_NE(control, nullptr);
      const QRect& d = c.design;
      EXPECT_EQ(control->geometry(), scale.Rect(d.x(), d.y(), d.width(), d.height())
                                         .adjusted(0, c.moves, 0, c.grows + c.moves));
      EXPECT_TRUE(box.rect().contains(control->geometry()));
      QRect content = control->geometry();
      if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->wordWrap()) {
          EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        } else if (!label->text().isEmpty()) {
          const QFontMetricsF metrics(label->font());
          EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
          EXPECT_LE(metrics.height(), label->height());
          // Centred at the top: what the title shows, beside the picture.
          content.setWidth(QFontMetrics(label->font()).horizontalAdvance(label->text()));
          content.moveCenter(QPoint(control->geometry().center().x(), content.center().y()));
        } else {
          // The icon's box reaches one unit into the title's; its picture does not.
          content.setSize(label->pixmap().deviceIndependentSize().toSize());
          content.moveCenter(control->geometry().center());
        }
      }
      for (const QRect& other : placed) EXPECT_FALSE(content.intersects(other));
      placed.push_back(content);
    }
    const QRect o = main.frameGeometry();
    const QRect f = box.frameGeometry();
    EXPECT_EQ(f.size() - box.size(), o.size() - main.size());
    EXPECT_EQ(f.topLeft(),
              QPoint(o.x() + (o.width() - f.width()) / 2, o.y() + (o.height() - f.height()) / 2));
  }
  TAboutForm::SetLinkOpener(nullptr);
  EXPECT_FALSE(ProgramIcon().pixmap(32, 32).isNull());
  for (int i = 0; i < kActionImageCount; ++i) {
    EXPECT_FALSE(ActionImage(i).pixmap(16, 16).isNull()) << i;
  }
}

// ---------------------------------------------------------------------------------------------
// Batches, errors and settings

TEST_F(MainFormTest, CtrlAThenF9RenamesTheMarkedFilesOnDisk) {
  m_dir.CreateFile("a.txt", "A");
  m_dir.CreateFile("b.txt", "B");
  m_dir.CreateFolder("sub");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "0"},
                              {"Pages/InsertString/String", "new_"},
                              {"Pages/InsertString/From", "1"}});
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Relabo 2.2 - Insert / Add String"));
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 2 file(s)"));
  Press(form.Files(), Qt::Key_F9);

  EXPECT_EQ(m_dir.ReadFile("new_a.txt"), "A");
  EXPECT_EQ(m_dir.ReadFile("new_b.txt"), "B");
  EXPECT_FALSE(m_dir.Exists("a.txt"));
  EXPECT_TRUE(m_dir.Exists("sub"));
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 2 file(s)"));
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 0 file(s)"));
  EXPECT_GE(Row("new_a.txt"), 0);
  EXPECT_TRUE(form.StatusNote().isEmpty());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(form.Files()->hasFocus());
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, CopiesReplaceFilesInTheirWayOnlyThroughTheTrash) {
  m_dir.CreateFile("a.txt", "new");
  m_dir.CreateFile("a001.txt", "unrelated data");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "7"}, {"Pages/CopyFiles/Number", "2"}});
  Focus(form.Files());
  form.Files()->SetMarked(Row("a.txt"), true);
  Press(form.Files(), Qt::Key_F9);
  EXPECT_EQ(m_dir.ReadFile("a001.txt"), "new");
  EXPECT_EQ(m_dir.ReadFile("a002.txt"), "new");
  const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/";
  std::ifstream kept(trash + "a001.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "unrelated data");
  EXPECT_TRUE(form.StatusNote().isEmpty());
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, FailedRenamesAreCountedInTheStatusLine) {
  m_dir.CreateFile("a1.txt");
  m_dir.CreateFile("a2.txt");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "5"}, {"Pages/ChangeNumber/Plus", "1"}});
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F9);
  EXPECT_TRUE(m_dir.Exists("a1.txt"));
  EXPECT_TRUE(m_dir.Exists("a3.txt"));
  EXPECT_FALSE(m_dir.Exists("a2.txt"));
  EXPECT_EQ(form.StatusNote(), QStringLiteral("1 of 2 renames failed"));
  EXPECT_TRUE(m_errors.empty());

  // Too long for its place, the note is shortened; its tooltip has it whole.
  auto* note = form.findChild<TElidedLabel*>(QStringLiteral("StatusNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->ShownText(), QStringLiteral("1 of 2 renames failed"));
  EXPECT_TRUE(note->toolTip().startsWith(QStringLiteral("1 of 2 renames failed")));
  note->resize(note->fontMetrics().horizontalAdvance(QStringLiteral("1 of 2 ren")), note->height());
  EXPECT_TRUE(note->ShownText().endsWith(QStringLiteral("...")));
  EXPECT_LT(note->ShownText().size(), note->text().size());
  EXPECT_EQ(note->text(), QStringLiteral("1 of 2 renames failed"));
}

TEST_F(MainFormTest, NothingMarkedF9DoesNothing) {
  m_dir.CreateFile("a.txt");
  TMainForm& form = MakeForm({{"Pages/InsertString/String", "x"}});
  Press(form.Files(), Qt::Key_F9);
  EXPECT_TRUE(m_dir.Exists("a.txt"));
  EXPECT_TRUE(form.isEnabled());
}

TEST_F(MainFormTest, AnErrorThatEndsTheBatchIsShownAfterTheWindUp) {
  m_dir.CreateFile("a99999999999.txt");
  m_dir.CreateFile("b1.txt");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "5"}});
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F9);
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(m_errors[0], QStringLiteral("'99999999999' is not a valid integer value"));
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(form.Files()->MarkedCount(), 0);  // the list was read again
  EXPECT_TRUE(m_dir.Exists("b1.txt"));        // the batch ended at the first file
  EXPECT_TRUE(form.Files()->hasFocus());
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(widget->isVisible() && widget->inherits("relabo::TProgressForm"));
  }
}

TEST_F(MainFormTest, HandlerErrorsGoToTheErrorBoxAndTheWindowStaysUsable) {
  m_dir.CreateFolder("gone");
  TMainForm& form = MakeForm({{"Folder/Directory", m_dir.Path("gone")}});
  ASSERT_EQ(form.Files()->Directory(), m_dir.Path("gone"));
  std::filesystem::remove(m_dir.Path("gone"));
  Focus(form.Files());
  Press(form.Files(), Qt::Key_F5);
  ASSERT_EQ(m_errors.size(), 1u);
  Press(form.Files(), Qt::Key_2, Qt::ControlModifier);
  EXPECT_EQ(form.Command(), 1);
}

TEST_F(MainFormTest, ExtensionRenamesTheMarkedEntriesAndCountsFailures) {
  m_dir.CreateFile("report.txt");
  m_dir.CreateFile("README");
  m_dir.CreateFile("taken.txt");
  m_dir.CreateFile("taken.bak");
  m_dir.CreateFolder("dir.old");
  TMainForm& form = MakeForm();
  for (const char* text : {"report.txt", "README", "taken.txt", "[dir.old]"}) {
    form.Files()->SetMarked(Row(text), true);
  }
  AnswerPrompt(QStringLiteral("bak"));
  Press(form.Files(), Qt::Key_F7);
  EXPECT_TRUE(m_dir.Exists("report.bak"));
  EXPECT_TRUE(m_dir.Exists("README.bak"));
  EXPECT_TRUE(m_dir.Exists("taken.txt"));
  EXPECT_TRUE(m_dir.Exists("dir.old"));
  EXPECT_EQ(form.StatusNote(), QStringLiteral("2 of 4 renames failed"));
  EXPECT_GE(Row("report.bak"), 0);
}

TEST_F(MainFormTest, ExtensionNeverTouchesAFileNamedAsAMarkedFolderShows) {
  m_dir.CreateFolder("fold");
  m_dir.CreateFile("[fold]", "unmarked");
  m_dir.CreateFile("[..]", "unmarked too");
  m_dir.CreateFile("a.txt");
  TMainForm& form = MakeForm();
  // The first row of each bracketed text is the parent or the folder entry, not the file.
  ASSERT_EQ(form.Files()->ItemKind(Row("[..]")), ekParentFolder);
  ASSERT_EQ(form.Files()->ItemKind(Row("[fold]")), ekFolder);
  for (const char* text : {"[..]", "[fold]", "a.txt"}) form.Files()->SetMarked(Row(text), true);
  AnswerPrompt(QStringLiteral("bak"));
  Press(form.Files(), Qt::Key_F7);
  EXPECT_EQ(m_dir.ReadFile("[fold]"), "unmarked");
  EXPECT_EQ(m_dir.ReadFile("[..]"), "unmarked too");
  EXPECT_FALSE(m_dir.Exists("[fold].bak"));
  EXPECT_FALSE(m_dir.Exists("[..].bak"));
  EXPECT_TRUE(m_dir.Exists("a.bak"));
  EXPECT_EQ(form.StatusNote(), QStringLiteral("2 of 3 renames failed"));
}

TEST_F(MainFormTest, F9UsesTheNumberInRangeWhileTheFieldStillHasTheFocus) {
  m_dir.CreateFile("a.txt", "A");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "6"}, {"Pages/RenameFiles/Name", "n"}});
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  auto* digits = form.Pages()->findChild<TXSpinEdit*>(QStringLiteral("RenameDigits"));
  ASSERT_NE(digits, nullptr);
  Focus(digits);
  digits->SetText(QStringLiteral("1000"));
  Press(digits, Qt::Key_F9);
  // 100 digits at most: the rename succeeds instead of failing on a name that is too long.
  EXPECT_EQ(m_dir.ReadFile("n" + std::string(99, '0') + "1.txt"), "A");
  EXPECT_TRUE(form.StatusNote().isEmpty());
}

TEST_F(MainFormTest, DeleteMovesTheMarkedFilesToTheTrashOnlyFromTheList) {
  m_dir.CreateFile("keep.txt");
  m_dir.CreateFile("drop.txt", "bytes");
  m_dir.CreateFolder("sub");
  TMainForm& form = MakeForm();
  form.Files()->SetMarked(Row("drop.txt"), true);
  form.Files()->SetMarked(Row("[sub]"), true);
  // With the focus in a field, F8 does nothing.
  Focus(form.Pages()->InsertString());
  Press(form.Pages()->InsertString(), Qt::Key_F8);
  EXPECT_TRUE(m_dir.Exists("drop.txt"));

  Focus(form.Files());
  Press(form.Files(), Qt::Key_F8);
  EXPECT_FALSE(m_dir.Exists("drop.txt"));
  EXPECT_TRUE(m_dir.Exists("keep.txt"));
  EXPECT_TRUE(m_dir.Exists("sub"));
  const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/drop.txt";
  EXPECT_TRUE(std::filesystem::exists(trash)) << trash;
  std::filesystem::remove(trash);
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 1 file(s)"));
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(form.Files()->hasFocus());
}

// ---------------------------------------------------------------------------------------------
// Undo

TEST_F(MainFormTest, UndoTakesBackTheNewestBatchFromTheFolderItRanIn) {
  m_dir.CreateFile("a.txt", "A");
  m_dir.CreateFile("b.txt", "B");
  m_dir.CreateFolder("sub");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "0"}, {"Pages/InsertString/String", "new_"}});
  QAction* undo = form.Action(ActionId::Undo);
  EXPECT_EQ(undo->text(), QStringLiteral("&Undo"));
  EXPECT_FALSE(undo->isEnabled());

  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F9);
  ASSERT_TRUE(m_dir.Exists("new_a.txt"));
  EXPECT_EQ(undo->text(), QStringLiteral("&Undo Rename (Insert String)"));
  EXPECT_TRUE(undo->isEnabled());

  // Ctrl+Z in a text field is the field's own; from another folder's list, the list goes back.
  QLineEdit* field = form.Pages()->InsertString();
  Focus(field);
  QTest::keyClicks(field, "x");
  Press(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(field->text(), QStringLiteral("new_"));
  EXPECT_TRUE(m_dir.Exists("new_a.txt"));
  form.GoToPath(m_dir.Path("sub"));
  Focus(form.Files());
  Press(form.Files(), Qt::Key_Z, Qt::ControlModifier);

  EXPECT_EQ(form.Files()->Directory(), m_dir.Root());
  EXPECT_EQ(m_dir.ReadFile("a.txt"), "A");
  EXPECT_EQ(m_dir.ReadFile("b.txt"), "B");
  EXPECT_GE(Row("a.txt"), 0);
  EXPECT_TRUE(form.StatusNote().isEmpty());
  EXPECT_EQ(undo->text(), QStringLiteral("&Undo"));
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, UndoOfADeletionBringsTheFilesBackAndSaysWhatStayed) {
  m_dir.CreateFile("a.txt", "A");
  m_dir.CreateFile("b.txt", "B");
  TMainForm& form = MakeForm();
  Focus(form.Files());
  Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F8);
  ASSERT_FALSE(m_dir.Exists("a.txt"));
  EXPECT_EQ(form.Action(ActionId::Undo)->text(), QStringLiteral("&Undo Delete"));
  // Another program takes one of the names meanwhile.
  m_dir.CreateFile("b.txt", "other");
  form.Action(ActionId::Undo)->trigger();
  QApplication::processEvents();

  EXPECT_EQ(m_dir.ReadFile("a.txt"), "A");
  EXPECT_EQ(m_dir.ReadFile("b.txt"), "other");
  EXPECT_EQ(form.StatusNote(), QStringLiteral("1 of 2 not undone: the name is taken"));
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 2 file(s)"));
  EXPECT_TRUE(m_errors.empty());
  const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/b.txt";
  EXPECT_TRUE(std::filesystem::exists(trash));
  std::filesystem::remove(trash);
  std::filesystem::remove(std::string(std::getenv("XDG_DATA_HOME")) +
                          "/Trash/info/b.txt.trashinfo");
}

TEST_F(MainFormTest, UndoHistoryTakesBackTheChosenBatchAndTheLaterOnesAfterAsking) {
  m_dir.CreateFile("a.txt", "A");
  TMainForm& form = MakeForm({{"Pages/ActivePage", "0"}, {"Pages/InsertString/String", "x"}});
  Focus(form.Files());
  for (int i = 0; i < 3; ++i) {
    Press(form.Files(), Qt::Key_A, Qt::ControlModifier);
    Press(form.Files(), Qt::Key_F9);
  }
  ASSERT_TRUE(m_dir.Exists("xxxa.txt"));

  struct Case {
    const char* name;
    int batch;      // the batch chosen, counted from the oldest
    bool confirm;
    const char* after;
  };
  const Case cases[] = {
      {"declined", 1, false, "xxxa.txt"},
      {"the middle batch and the newest", 1, true, "xa.txt"},
      {"the oldest, all that is left", 0, true, "a.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString question;
    int rows = -1;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      auto* list = dialog->findChild<QAbstractItemView*>();
      ASSERT_NE(list, nullptr);
      rows = list->model()->rowCount();
      // Newest first, and undos are listed too: the oldest batches are the last rows.
      list->setCurrentIndex(list->model()->index(rows - 1 - c.batch, 0));
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        question = box->text();
        box->button(c.confirm ? QMessageBox::Yes : QMessageBox::No)->click();
      });
      QTest::keyClick(list, Qt::Key_Return);
    });
    form.Action(ActionId::UndoHistory)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(m_dir.Exists(c.after));
    EXPECT_TRUE(question.contains(QStringLiteral("Rename (Insert String)"))) << question.toStdString();
    EXPECT_TRUE(m_errors.empty());
  }
}

TEST_F(MainFormTest, NumbersByValueResortsAtOnceAndIsKept) {
  for (const char* name : {"a10.txt", "a9.txt", "a1.txt"}) m_dir.CreateFile(name);
  TMainForm& form = MakeForm({{"Pages/ActivePage", "6"}, {"Pages/RenameFiles/Name", "n"}});
  QAction* numeric = form.Action(ActionId::NumericSort);
  // In the Show menu after Reversed Order, off at first.
  const QList<QAction*> entries =
      form.MainMenu()->findChild<QMenu*>(QStringLiteral("ShowMenu"))->actions();
  const qsizetype reversed = entries.indexOf(form.Action(ActionId::Reversed));
  ASSERT_GE(reversed, 0);
  ASSERT_LT(reversed + 1, entries.size());
  EXPECT_EQ(entries[reversed + 1], numeric);
  EXPECT_EQ(numeric->text(), QStringLiteral("Numbers by &Value"));
  EXPECT_TRUE(numeric->isCheckable());
  EXPECT_FALSE(numeric->isChecked());
  EXPECT_EQ(HelpContextOf(numeric), 33);

  TXFileListBox* files = form.Files();
  auto order = [&] { return std::vector<int>{Row("a1.txt"), Row("a9.txt"), Row("a10.txt")}; };
  auto cell = [&](const char* name) {
    QApplication::processEvents();
    return files->PreviewCellAt(Row(name)).text;
  };
  EXPECT_EQ(order(), (std::vector<int>{1, 3, 2}));
  files->SetMarked(Row("a10.txt"), true);
  files->SetMarked(Row("a9.txt"), true);
  files->SetFocused(Row("a9.txt"));
  form.FilesChange();
  EXPECT_EQ(cell("a10.txt"), "n001.txt");
  EXPECT_EQ(cell("a9.txt"), "n002.txt");

  numeric->trigger();
  EXPECT_TRUE(numeric->isChecked());
  EXPECT_TRUE(files->NumericSort());
  EXPECT_EQ(order(), (std::vector<int>{1, 2, 3}));
  // The marks and the focus go with their files, and the batch takes the new order.
  EXPECT_EQ(files->MarkedCount(), 2);
  EXPECT_TRUE(files->IsMarked(Row("a9.txt")));
  EXPECT_TRUE(files->IsMarked(Row("a10.txt")));
  EXPECT_EQ(files->Focused(), Row("a9.txt"));
  EXPECT_EQ(cell("a9.txt"), "n001.txt");
  EXPECT_EQ(cell("a10.txt"), "n002.txt");

  m_form.reset();
  EXPECT_NE(m_config.ReadFile("Relabo.conf").find("\nNumericSort=1\n"), std::string::npos);
  TMainForm& again = MakeForm();
  EXPECT_TRUE(again.Action(ActionId::NumericSort)->isChecked());
  EXPECT_EQ(order(), (std::vector<int>{1, 2, 3}));
  again.Action(ActionId::NumericSort)->trigger();
  EXPECT_FALSE(again.Files()->NumericSort());
  EXPECT_EQ(order(), (std::vector<int>{1, 3, 2}));
  m_form.reset();
  EXPECT_NE(m_config.ReadFile("Relabo.conf").find("\nNumericSort=0\n"), std::string::npos);
}

TEST_F(MainFormTest, PropertiesActOnTheFocusedEntryOnlyFromTheList) {
  m_dir.CreateFile("a.txt", "abc");
  TMainForm& form = MakeForm();
  auto dialogs = [] {
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      shown += widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr;
    }
    return shown;
  };
  form.Files()->SetFocused(Row("a.txt"));
  Focus(form.Pages()->InsertString());
  Press(form.Pages()->InsertString(), Qt::Key_Return, Qt::AltModifier);
  EXPECT_EQ(dialogs(), 0);
  Focus(form.Files());
  form.Files()->SetFocused(Row("a.txt"));
  Press(form.Files(), Qt::Key_Return, Qt::AltModifier);
  // Without a file manager on the bus, the program's own dialog shows.
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs() == 1; }, 3000));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainFormTest, StoredSortCommandAndPagesAreShownAtStart) {
  TMainForm& form = MakeForm({{"Folder/SortBy", "1"},
                              {"Folder/SortOrder", "1"},
                              {"Pages/ActivePage", "6"},
                              {"Pages/RemoveString/From", "2"},
                              {"Pages/RenameFiles/Name", "Holiday"}});
  EXPECT_EQ(form.HeaderButton(fiSize)->text(),
            QStringLiteral("Size") + QString::fromUtf8("\u2014"));
  EXPECT_EQ(form.HeaderButton(fiFileName)->text(), QStringLiteral("Name"));
  EXPECT_TRUE(form.HeaderButton(fiSize)->isChecked());
  EXPECT_TRUE(form.Action(ActionId::SortSize)->isChecked());
  EXPECT_TRUE(form.Action(ActionId::Reversed)->isChecked());
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Relabo 2.2 - Rename Files"));
  EXPECT_TRUE(form.ToolButton(14)->isChecked());
  EXPECT_EQ(form.Pages()->RenameName()->text(), QStringLiteral("Holiday"));
  EXPECT_FALSE(form.Pages()->RemovePosition()->isHidden());
  EXPECT_TRUE(form.Files()->hasFocus());
}

TEST_F(MainFormTest, SettingsAreWrittenWhenTheWindowGoes) {
  TMainForm& form = MakeForm();
  Press(form.Files(), Qt::Key_4, Qt::ControlModifier);
  Press(form.Files(), Qt::Key_F2, Qt::ControlModifier);
  form.Pages()->CopyNumber()->SetText(QStringLiteral("007"));
  form.Pages()->ChangeString()->setText(QStringLiteral("xyz"));
  m_form.reset();
  SettingsStore store(SettingsFile());
  EXPECT_EQ(store.ReadString("Pages", "ActivePage", ""), "3");
  EXPECT_EQ(store.ReadString("Folder", "SortBy", ""), "1");
  EXPECT_EQ(store.ReadString("Folder", "Directory", ""), m_dir.Root());
  EXPECT_EQ(store.ReadString("Pages/CopyFiles", "Number", ""), "007");
  EXPECT_EQ(store.ReadString("Pages/ChangeString", "String", ""), "xyz");
  EXPECT_TRUE(m_errors.empty());
}

// ---------------------------------------------------------------------------------------------
// Opening paths

TEST_F(MainFormTest, StartPathsMarkExactlyTheGivenFilesAndWidenAHidingFilter) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("b.jpg");
  m_dir.CreateFile("c.txt");
  m_dir.CreateFile("sub/d.txt");
  TMainForm& form = MakeForm(
      {{"Folder/Directory", m_dir.Path("sub")}, {"Folder/Filter", "*.txt"}});
  QString message;
  WhenDialogShows([&](QDialog* dialog) {
    message = static_cast<QMessageBox*>(dialog)->text();
    dialog->accept();
  });
  form.OpenStartPaths(ResolveStartPaths({"b.jpg", "a.txt", "sub/d.txt", "gone.txt"}, m_dir.Root()));

  EXPECT_EQ(form.Files()->Directory(), m_dir.Root());
  EXPECT_EQ(form.Mask(), "*.*");
  EXPECT_EQ(form.Files()->MarkedCount(), 2);
  EXPECT_TRUE(form.Files()->IsMarked(Row("a.txt")));
  EXPECT_TRUE(form.Files()->IsMarked(Row("b.jpg")));
  EXPECT_EQ(form.Files()->Focused(), Row("b.jpg"));
  EXPECT_EQ(form.focusWidget(), form.Files());
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 2 file(s)"));
  EXPECT_TRUE(message.contains(QStringLiteral("sub/d.txt"))) << message.toStdString();
  EXPECT_EQ(m_errors, std::vector<QString>{QStringLiteral("Invalid file name - gone.txt")});
}

TEST_F(MainFormTest, StartPathsKeepAFilterThatShowsThemAndOpenAFolderAlone) {
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("sub/d.txt");
  TMainForm& form = MakeForm({{"Folder/Filter", "*.txt"}});
  form.OpenStartPaths(ResolveStartPaths({"a.txt"}, m_dir.Root()));
  EXPECT_EQ(form.Mask(), "*.txt");
  EXPECT_TRUE(form.Files()->IsMarked(Row("a.txt")));

  form.OpenStartPaths(ResolveStartPaths({m_dir.Path("sub")}, "/"));
  EXPECT_EQ(form.Files()->Directory(), m_dir.Path("sub"));
  EXPECT_EQ(form.Files()->MarkedCount(), 0);
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, AFolderStillBeingReadShowsItsCountTakesNoCommandAndMarksTheStartFileAfter) {
  for (int i = 0; i < 3000; ++i) m_dir.CreateFile("photo " + std::to_string(i) + ".jpg");
  m_dir.CreateFile("elsewhere/a.txt");
  const StartPaths start = ResolveStartPaths({m_dir.Path("photo 7.jpg")}, "/");
  // Stored is another folder: the one given is read first, not the stored one.
  TMainForm& form = MakeForm({{"Folder/Directory", m_dir.Path("elsewhere")}}, [&](TMainForm& f) {
    f.Files()->SetReadPatience(0);
    f.PrepareStartFolder(start);
  });
  form.OpenStartPaths(start);
  TXFileListBox* files = form.Files();
  EXPECT_EQ(files->Directory(), m_dir.Root());
  if (files->Reading()) {
    EXPECT_TRUE(form.StatusText(0).startsWith(QStringLiteral("Reading: ")))
        << form.StatusText(0).toStdString();
    EXPECT_FALSE(files->isEnabled());
    EXPECT_FALSE(form.findChild<QMenuBar*>()->isEnabled());
    form.Action(ActionId::SelectAll)->trigger();
    form.Action(ActionId::UpdateFiles)->trigger();
    EXPECT_TRUE(files->Reading()) << "a command ran on the incomplete list";
  } else {
    ADD_FAILURE() << "the folder was read before the window showed; nothing to see";
  }
  QTRY_VERIFY_WITH_TIMEOUT(!files->Reading(), 10000);
  EXPECT_EQ(form.StatusText(0), QStringLiteral("Total: 3000 file(s)"));
  EXPECT_TRUE(files->isEnabled());
  EXPECT_TRUE(form.findChild<QMenuBar*>()->isEnabled());
  EXPECT_EQ(form.focusWidget(), files);
  EXPECT_EQ(files->MarkedCount(), 1);
  EXPECT_TRUE(files->IsMarked(Row("photo 7.jpg")));
  EXPECT_EQ(files->Focused(), Row("photo 7.jpg"));
  EXPECT_EQ(form.StatusText(1), QStringLiteral("Selected: 1 file(s)"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, BackspaceAndAltUpGoUpAltLeftGoesBack) {
  m_dir.CreateFile("sub/deeper/a.txt");
  TMainForm& form = MakeForm({{"Folder/Directory", m_dir.Path("sub/deeper")}});
  Focus(form.Files());
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::string folder;
    const char* focused;  // the entry focused after the step, or null
  };
  const Case cases[] = {
      {Qt::Key_Backspace, Qt::NoModifier, m_dir.Path("sub"), "[deeper]"},
      {Qt::Key_Up, Qt::AltModifier, m_dir.Root(), "[sub]"},
      {Qt::Key_Left, Qt::AltModifier, m_dir.Path("sub"), nullptr},
      {Qt::Key_Left, Qt::AltModifier, m_dir.Path("sub/deeper"), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    Press(form.Files(), c.key, c.modifiers);
    EXPECT_EQ(form.Files()->Directory(), c.folder);
    if (c.focused) {
      EXPECT_EQ(form.Files()->Focused(), Row(c.focused));
    }
  }
  // Plain Up still moves in the list.
  EXPECT_EQ(form.Files()->Directory(), m_dir.Path("sub/deeper"));
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFormTest, AFolderThatCannotBeListedOpensEmptyWithANote) {
  if (::geteuid() == 0) GTEST_SKIP() << "root lists every folder";
  m_dir.CreateFile("locked/inside.txt");
  ASSERT_EQ(::chmod(m_dir.Path("locked").c_str(), 0311), 0);
  TMainForm& form = MakeForm({{"Folder/Directory", m_dir.Path("locked")}});
  EXPECT_EQ(form.Files()->Directory(), m_dir.Path("locked"));
  EXPECT_EQ(form.Files()->Count(), 1);  // "[..]"
  EXPECT_EQ(form.StatusNote(), QStringLiteral("This folder cannot be listed"));
  Focus(form.Files());
  Press(form.Files(), Qt::Key_Backspace);
  EXPECT_EQ(form.Files()->Directory(), m_dir.Root());
  EXPECT_TRUE(form.StatusNote().isEmpty());
  ::chmod(m_dir.Path("locked").c_str(), 0755);
}

TEST_F(MainFormTest, CtrlLGoesToATypedFolderRelativeOrHomeAndKeepsTheHistory) {
  m_dir.CreateFolder("sub/deeper");
  const std::string home = m_config.CreateFolder("home");
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", home.c_str(), 1);
  TMainForm& form = MakeForm();
  struct Case {
    const char* typed;
    std::string folder;
  };
  const Case cases[] = {
      {"sub", m_dir.Path("sub")},
      {"deeper/..//deeper", m_dir.Path("sub/deeper")},
      {"~", home},
      {m_dir.Root().c_str(), m_dir.Root()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    AnswerPrompt(QString::fromStdString(c.typed));
    Press(form.Files(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(form.Files()->Directory(), c.folder);
    Reactivate();
    Focus(form.Files());
  }
  EXPECT_EQ(form.GoToHistory().front(), m_dir.Root());
  EXPECT_EQ(form.GoToHistory().size(), 4u);
  EXPECT_TRUE(m_errors.empty());
  ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(UndoWords, CaptionAndQuestionSayWhatWillBeTakenBack) {
  auto batch = [](std::string title, std::vector<JournalOperationKind> kinds) {
    JournalBatch b;
    b.title = std::move(title);
    b.folder = "/data/photos";
    for (const JournalOperationKind kind : kinds) b.operations.emplace_back().kind = kind;
    return b;
  };
  using K = JournalOperationKind;
  const JournalBatch rename = batch("Rename (Replace String)", {K::Rename, K::Rename});
  const JournalBatch copy = batch("Copy", {K::Delete, K::Copy});
  const JournalBatch amp = batch("A & B", {K::Rename});
  EXPECT_EQ(UndoCaption(nullptr), QStringLiteral("&Undo"));
  EXPECT_EQ(UndoCaption(&rename), QStringLiteral("&Undo Rename (Replace String)"));
  EXPECT_EQ(UndoCaption(&amp), QStringLiteral("&Undo A && B"));

  struct Case {
    const char* name;
    std::vector<const JournalBatch*> sequence;
    const char* question;
  };
  const Case cases[] = {
      {"one rename batch", {&rename},
       "Take back \"Rename (Replace String)\" in /data/photos (2 operation(s))?\n\nRenamed files "
       "get their old names back. Nothing is replaced."},
      {"a later copy batch too", {&copy, &rename},
       "Take back \"Rename (Replace String)\" and the 1 later batch(es) in /data/photos (4 "
       "operation(s) in all), newest first?\n\nRenamed files get their old names back, copies "
       "nobody changed go to the trash, deleted files come back from the trash. Nothing is "
       "replaced."},
      {"nothing", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UndoQuestion(c.sequence).toStdString(), c.question);
  }
}

TEST(BatchFailureNote, SaysHowManyOperationsFailed) {
  BatchOutcome outcome;
  outcome.operations.resize(120);
  outcome.failed = 3;
  EXPECT_EQ(BatchFailureNote(outcome, kRenameFiles), QStringLiteral("3 of 120 renames failed"));
  EXPECT_EQ(BatchFailureNote(outcome, kCopyFiles), QStringLiteral("3 of 120 copies failed"));
  outcome.failed = 0;
  EXPECT_TRUE(BatchFailureNote(outcome, kRenameFiles).isEmpty());
}

}  // namespace
}  // namespace relabo
