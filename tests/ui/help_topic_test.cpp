// SPDX-License-Identifier: GPL-3.0-or-later
// The help topic F1 opens for the focused control, and the help file's topics for every number.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <memory>
#include <vector>

#include "filelist/file_list_box.h"
#include "navigation/drive_combo_box.h"
#include "navigation/path_label.h"
#include "tests/support/test_dir.h"
#include "ui/actions.h"
#include "ui/command_pages.h"
#include "ui/help_window.h"
#include "ui/main_form.h"
#include "ui/settings.h"
#include "ui/spin_edit.h"

namespace relabo {
namespace {

// The context numbers the help file has a topic for ("context-N" anchors).
QSet<int> HelpFileTopics() {
  QFile file(QStringLiteral(RELABO_HELP_FILE));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << RELABO_HELP_FILE;
  const QString text = QString::fromUtf8(file.readAll());
  QSet<int> topics;
  const QRegularExpression anchor(QStringLiteral("id=\"context-(\\d+)\""));
  for (auto match = anchor.globalMatch(text); match.hasNext();) {
    topics.insert(match.next().captured(1).toInt());
  }
  return topics;
}

// The field of each command page that the tests focus, by command index.
std::vector<QWidget*> PageFields(const TCommandPages& pages) {
  return {pages.InsertString(),
          pages.RemoveNumber(),
          pages.ReplaceNewString(),
          pages.ChangeFrom(),
          pages.ChangeCaseMode()->Button(2),
          pages.ChangeNumberPlus(),
          pages.RenameScheme(),
          pages.CopyDigits()};
}

TEST(HelpContextForFocusTest, WidgetTree) {
  QWidget window;
  auto* list = new QWidget(&window);
  list->setProperty(kHelpContextProperty, 1);
  auto* listChild = new QWidget(list);
  auto* box = new QComboBox(&window);
  box->addItem(QStringLiteral("/"));
  box->setProperty(kHelpContextProperty, 20);
  auto* plain = new QWidget(&window);
  auto* pages = new TCommandPages(&window);
  pages->setCurrentIndex(3);
  // As left by a window that set the notebook's number for another page.
  pages->setProperty(kHelpContextProperty, 15);
  const std::vector<QWidget*> fields = PageFields(*pages);
  // Owned by a control with a number, which the dialog must not take.
  auto* dialog = new QDialog(list);
  auto* dialogField = new QLineEdit(dialog);
  auto* numberedDialog = new QDialog(list);
  numberedDialog->setProperty(kHelpContextProperty, 34);
  auto* numberedDialogField = new QLineEdit(numberedDialog);

  struct Case {
    const char* name;
    const QWidget* focus;
    int context;
  };
  const Case cases[] = {
      {"nothing focused", nullptr, 0},
      {"own number", list, 1},
      {"the parent's number", listChild, 1},
      {"volume box", box, 20},
      {"volume box's open list belongs to the box", box->view(), 20},
      {"no number up to the window", plain, 0},
      {"the window itself", &window, 0},
      {"the notebook: its current page, not its stale number", pages, 13},
      {"dialog's field takes nothing from the dialog's owner", dialogField, 0},
      {"dialog takes nothing from its owner", dialog, 0},
      {"dialog's own number", numberedDialogField, 34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HelpContextForFocus(c.focus), c.context);
  }
  // A field of every page stands for its page's command, whichever page is shown.
  for (int i = 0; i < kCommandCount; ++i) {
    SCOPED_TRACE(kCommandNames[size_t(i)]);
    EXPECT_EQ(HelpContextForFocus(fields[size_t(i)]), kCommandPageHelpContext + i);
    EXPECT_EQ(HelpContextForFocus(pages->widget(i)), kCommandPageHelpContext + i);
  }
  // A field's own number comes first.
  fields[0]->setProperty(kHelpContextProperty, 32);
  EXPECT_EQ(HelpContextForFocus(fields[0]), 32);
}

TEST(HelpWindowTest, ContextZeroIsTheContents) {
  THelpWindow window;
  window.SetHelpFile(QStringLiteral(RELABO_HELP_FILE));
  window.resize(400, 300);
  window.ShowContext(34);
  QApplication::processEvents();
  ASSERT_GT(window.Browser()->verticalScrollBar()->value(), 0);
  window.ShowContext(0);
  EXPECT_EQ(window.ShownContext(), 0);
  EXPECT_EQ(window.Browser()->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(window.isVisible());
}

class HelpTopicFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString settings = QString::fromStdString(m_dir.Path("Relabo.conf"));
    {
      SettingsStore store(settings);
      store.WriteString("Folder", "Directory", m_dir.Root());
      store.Sync();
    }
    m_form = std::make_unique<TMainForm>(std::make_unique<SettingsStore>(settings));
    m_form->SetHelpFile(QStringLiteral(RELABO_HELP_FILE));
    m_form->show();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
  }
  void TearDown() override {
    m_form.reset();
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
  }

  // Gives a control the focus; the topic of whatever has it then (a spin field's inner line).
  static int TopicWithFocusOn(QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(widget->hasFocus()) << widget->objectName().toStdString();
    return HelpContextForFocus(QApplication::focusWidget());
  }

  test::TestDir m_dir;
  std::unique_ptr<TMainForm> m_form;
};

TEST_F(HelpTopicFormTest, TheFocusedControlsTopic) {
  TMainForm& form = *m_form;
  struct Case {
    const char* name;
    QWidget* focus;
    int context;
  };
  const Case cases[] = {
      {"file list", form.Files(), 1},
      {"volume box", form.Drive(), 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TopicWithFocusOn(c.focus), c.context);
  }
  EXPECT_EQ(HelpContextForFocus(form.FolderLabel()), 1);
  EXPECT_EQ(HelpContextForFocus(form.Drive()->view()), 20);

  const std::vector<QWidget*> fields = PageFields(*form.Pages());
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 3, 0}) {
    SCOPED_TRACE(kCommandNames[size_t(i)]);
    form.SelectCommand(i);
    EXPECT_EQ(TopicWithFocusOn(fields[size_t(i)]), kCommandPageHelpContext + i);
  }

  // A dialog over the window is no control of the window.
  QDialog dialog(&form);
  auto* field = new QLineEdit(&dialog);
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(TopicWithFocusOn(field), 0);
  dialog.close();

  EXPECT_EQ(HelpContextForFocus(nullptr), 0);
}

TEST_F(HelpTopicFormTest, EveryNumberHasATopicInTheHelpFile) {
  const QSet<int> topics = HelpFileTopics();
  ASSERT_FALSE(topics.isEmpty());
  QSet<int> numbers;
  for (int page = 0; page < kCommandCount; ++page) {
    m_form->SelectCommand(page);
    for (const QWidget* widget : m_form->findChildren<QWidget*>()) {
      numbers.insert(HelpContextForFocus(widget));
    }
  }
  for (const ActionSpec& spec : kActionTable) numbers.insert(spec.helpContext);
  for (const QMenu* menu : m_form->findChildren<QMenu*>()) numbers.insert(HelpContextOf(menu));
  numbers.remove(0);
  for (int context = kCommandPageHelpContext; context < kCommandPageHelpContext + kCommandCount;
       ++context) {
    EXPECT_TRUE(numbers.contains(context)) << "no control leads to " << context;
  }
  for (const int context : numbers) {
    EXPECT_TRUE(topics.contains(context)) << "no topic context-" << context;
  }
}

}  // namespace
}  // namespace relabo
