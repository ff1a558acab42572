// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/progress_form.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWindow>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "engine/layout_scale.h"
#include "fileutil/error.h"
#include "tests/support/application_font.h"

namespace relabo {
namespace {

using test::ApplicationFont;

class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "relabo_engine_tests";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { m_app.reset(); }

 private:
  std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment* const kQt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

QString LabelText(const QWidget& form, const char* name) {
  return form.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// The height a label needs to show a whole line of the font.
int LineHeight(const QFont& font) {
  return std::max(QFontMetrics(font).height(),
                  static_cast<int>(std::ceil(QFontMetricsF(font).height())));
}

bool IsMinimized(const QWidget& window) { return window.windowState() & Qt::WindowMinimized; }

TEST(ProgressPercent, TruncatesTheShareOfTheStepsAfterTheFirst) {
  struct Case {
    const char* name;
    int position;
    int total;
    int expected;
  };
  const Case cases[] = {
      {"one file", 1, 1, 0},
      {"five steps: 1", 1, 5, 0},
      {"five steps: 2", 2, 5, 25},
      {"five steps: 3", 3, 5, 50},
      {"five steps: 4", 4, 5, 75},
      {"five steps: 5", 5, 5, 100},
      {"second of four", 2, 4, 33},
      {"third of four", 3, 4, 66},
      {"below the minimum", 0, 5, 0},
      {"beyond the total", 9, 5, 100},
      {"largest total, last step", INT_MAX, INT_MAX, 100},
      {"largest total, one before", INT_MAX - 1, INT_MAX, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ProgressPercent(c.position, c.total), c.expected);
  }
}

TEST(ProgressForm, StepsShowTheirPercentageAndTheLastStepIsAlwaysShown) {
  TProgressForm form(nullptr);
  EXPECT_EQ(form.windowTitle(), "Progress");
  form.Start(5, "Rename (Replace String)");
  EXPECT_EQ(form.windowTitle(), "Rename (Replace String)");
  EXPECT_TRUE(form.isVisible());
  const auto* gauge = form.findChild<TProgressGauge*>("Progress");
  const int expected[] = {0, 25, 50, 75, 100};
  for (int step = 1; step <= 5; ++step) {
    const std::string n = std::to_string(step);
    form.Step(step, "old" + n, "new" + n);
    EXPECT_EQ(form.Percent(), expected[step - 1]);
    // The first step is shown at once; those in between may wait for the next tick.
    if (step == 1) {
      EXPECT_EQ(LabelText(form, "OldNameLabel"), "old1");
    }
  }
  EXPECT_EQ(LabelText(form, "OldNameLabel"), "old5");
  EXPECT_EQ(LabelText(form, "NewNameLabel"), "new5");
  EXPECT_EQ(gauge->Percent(), 100);

  TProgressForm single(nullptr);
  single.Start(1, "Copy");
  single.Step(1, "a.txt", "a001.txt");
  EXPECT_EQ(single.Percent(), 0);
  EXPECT_EQ(single.findChild<TProgressGauge*>("Progress")->Percent(), 0);
}

TEST(ProgressForm, RefusesATotalBelowOne) {
  for (int total : {0, -1, INT_MIN}) {
    SCOPED_TRACE(total);
    TProgressForm form(nullptr);
    try {
      form.Start(total, "Rename");
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Value must be between 2 and 2147483647");
    }
    EXPECT_FALSE(form.isVisible());
  }
}

TEST(ProgressForm, StartWithLabelHidesTheToLine) {
  TProgressForm form(nullptr);
  form.StartWithLabel(3, "Delete", "What:");
  EXPECT_EQ(LabelText(form, "FromLabel"), "What:");
  EXPECT_FALSE(form.findChild<QLabel*>("ToLabel")->isVisible());
  EXPECT_FALSE(form.findChild<QLabel*>("NewNameLabel")->isVisible());
  EXPECT_TRUE(form.findChild<QLabel*>("OldNameLabel")->isVisible());
}

TEST(ProgressForm, HasAFixedSizeAndTheGaugeFillsItsPanel) {
  TProgressForm form(nullptr);
  form.Start(2, "Rename");
  const QSize size = LayoutScale::ForFont(form.font()).Size(348, 81);
  EXPECT_EQ(form.size(), size);
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  form.resize(size.width() + 150, size.height() + 120);
  EXPECT_EQ(form.size(), size);
  const auto* panel = form.findChild<QFrame*>("ProgressPanel");
  EXPECT_EQ(form.findChild<TProgressGauge*>("Progress")->geometry(), panel->contentsRect());
}

TEST(ProgressForm, CentresOverItsOwnerRoundingTowardsZero) {
  struct Case {
    const char* name;
    QSize larger;  // the owner's size minus the window's
    QPoint offset;
  };
  const Case cases[] = {
      // -47 / 2 = -23 and -21 / 2 = -10; rounding down would give -24 and -11.
      {"owner smaller, odd differences", QSize(-47, -21), QPoint(-23, -10)},
      {"owner larger, odd differences", QSize(453, 519), QPoint(226, 259)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QSize size = LayoutScale::ForFont(QApplication::font()).Size(348, 81);
    QWidget owner;
    owner.setGeometry(QRect(QPoint(100, 50), size + c.larger));
    TProgressForm form(&owner);
    EXPECT_EQ(form.size(), size);
    EXPECT_EQ(form.pos(), QPoint(100, 50) + c.offset);
  }
}

TEST(ProgressForm, CentresItsFrameOverTheOwnersFrame) {
  QWidget owner;
  owner.setGeometry(100, 80, 701, 503);
  owner.show();
  ASSERT_NE(owner.frameGeometry(), owner.geometry());  // the platform draws frames
  TProgressForm form(&owner);
  form.Start(3, "Rename");
  const QRect o = owner.frameGeometry();
  const QRect f = form.frameGeometry();
  EXPECT_EQ(f.size() - form.size(), o.size() - owner.size());
  EXPECT_EQ(f.topLeft(),
            QPoint(o.x() + (o.width() - f.width()) / 2, o.y() + (o.height() - f.height()) / 2));
}

TEST(ProgressForm, IsLaidOutInTheApplicationFont) {
  for (const int points : {8, 10, 12}) {
    SCOPED_TRACE(points);
    const ApplicationFont applicationFont(points);
    TProgressForm form(nullptr);
    form.Start(3, "Rename");
    EXPECT_EQ(form.font(), QApplication::font());
    const QFont& font = form.font();
    const LayoutScale scale = LayoutScale::ForFont(font);
    EXPECT_EQ(form.size(), scale.Size(348, 81));

    struct Control {
      const char* name;
      QRect design;
      const char* text;  // a fixed text the label must hold; null for names
    };
    const Control controls[] = {
        {"FromLabel", QRect(8, 8, 57, 13), "From:"},
        {"ToLabel", QRect(8, 24, 57, 13), "To:"},
        {"OldNameLabel", QRect(72, 8, 265, 13), nullptr},
        {"NewNameLabel", QRect(72, 24, 265, 13), nullptr},
        {"ProgressPanel", QRect(8, 48, 329, 23), nullptr},
    };
    std::vector<QRect> placed;
    for (const Control& c : controls) {
      SCOPED_TRACE(c.name);
      const auto* control = form.findChild<QWidget*>(QString::fromLatin1(c.name));
      ASSERT_NE(control, nullptr);
      QRect expected = scale.Rect(c.design.x(), c.design.y(), c.design.width(), c.design.height());
      if (const auto* label = qobject_cast<const QLabel*>(control)) {
        // A line of the font is never cut, whatever the design height.
        expected.setHeight(std::max(expected.height(), LineHeight(font)));
        EXPECT_GE(label->height(), LineHeight(label->font()));
        if (c.text) {
          EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
          EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
        }
      }
      EXPECT_EQ(control->geometry(), expected);
      EXPECT_TRUE(form.rect().contains(control->geometry()));
      for (const QRect& other : placed) EXPECT_FALSE(control->geometry().intersects(other));
      placed.push_back(control->geometry());
    }
    const auto* panel = form.findChild<QFrame*>("ProgressPanel");
    EXPECT_EQ(form.findChild<TProgressGauge*>("Progress")->geometry(), panel->contentsRect());
    EXPECT_GE(panel->contentsRect().height(), LineHeight(font));

    // The Delete command's caption takes the same place.
    TProgressForm deletion(nullptr);
    deletion.StartWithLabel(3, "Delete", "What:");
    const auto* what = deletion.findChild<QLabel*>("FromLabel");
    EXPECT_LE(QFontMetrics(what->font()).horizontalAdvance(what->text()), what->width());
  }
}

TEST(ProgressForm, IsDrawnEnabledOverItsDisabledOwner) {
  // A batch disables the main window before it makes the progress window, Delete after.
  for (const bool disabledFirst : {true, false}) {
    SCOPED_TRACE(disabledFirst ? "owner disabled first" : "owner disabled afterwards");
    QWidget owner;
    owner.setGeometry(100, 100, 600, 400);
    owner.show();
    if (disabledFirst) owner.setEnabled(false);
    TProgressForm form(&owner);
    form.StartWithLabel(2, "Delete", "What:");
    if (!disabledFirst) owner.setEnabled(false);
    form.Step(1, "a.txt", "");
    EXPECT_EQ(form.parentWidget(), nullptr);
    EXPECT_TRUE(form.isEnabled());
    for (const QLabel* label : form.findChildren<QLabel*>()) {
      SCOPED_TRACE(label->objectName().toStdString());
      EXPECT_TRUE(label->isEnabled());
    }
    // Still kept above the owner and grouped with it.
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(form.windowHandle(), nullptr);
    EXPECT_EQ(form.windowHandle()->transientParent(), owner.windowHandle());
  }
}

TEST(ProgressForm, FindsItsOwnerWindowAlsoWhenTheOwnerIsShownAfterwards) {
  QWidget owner;
  TProgressForm form(&owner);
  owner.show();
  form.Start(2, "Rename");
  ASSERT_NE(form.windowHandle(), nullptr);
  EXPECT_EQ(form.windowHandle()->transientParent(), owner.windowHandle());
}

TEST(ProgressForm, GaugePaintsANavyBarUnderItsPercentage) {
  TProgressGauge gauge;
  gauge.resize(327, 21);
  gauge.SetPercent(50);
  const QImage image = gauge.grab().toImage();
  EXPECT_EQ(image.pixelColor(4, 1), QColor(0, 0, 128));
  EXPECT_EQ(image.pixelColor(160, 19), QColor(0, 0, 128));
  EXPECT_EQ(image.pixelColor(166, 19), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(320, 1), QColor(Qt::white));
}

TEST(ProgressForm, MinimisingTakesTheOwnerAlongAndPutsThePercentageInTheTitle) {
  QWidget owner;
  owner.setWindowTitle("Relabo 2.2 - Rename Files");
  owner.show();
  TProgressForm form(&owner);
  form.Start(4, "Rename");
  form.Step(1, "a", "b");
  form.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(form.Minimized());
  // The owner follows once the notifications already pending are in.
  QApplication::processEvents();
  EXPECT_TRUE(owner.windowState() & Qt::WindowMinimized);
  form.Step(2, "c", "d");
  EXPECT_EQ(form.windowTitle(), "33 % - Rename");
  form.Step(3, "e", "f");
  EXPECT_EQ(form.windowTitle(), "66 % - Rename");
  EXPECT_EQ(owner.windowTitle(), "Relabo 2.2 - Rename Files");

  // Restoring the owner from its taskbar entry brings the progress window back too.
  owner.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(form.Minimized());
  EXPECT_FALSE(form.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(form.windowTitle(), "Rename");
  form.Step(4, "g", "h");
  EXPECT_EQ(form.windowTitle(), "Rename");

  // And the other way round.
  owner.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  EXPECT_TRUE(form.Minimized());
  EXPECT_EQ(form.windowTitle(), "100 % - Rename");
  form.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(owner.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(form.windowTitle(), "Rename");
}

TEST(ProgressForm, NotificationsThatArriveDuringOneStepNeverLeaveTheOwnerAlone) {
  enum Window { kForm, kOwner };
  struct Notification {
    Window window;
    bool minimized;
  };
  struct Case {
    const char* name;
    std::vector<Notification> notifications;
    bool minimized;  // both windows, after the step
  };
  const Case cases[] = {
      {"progress window minimised", {{kForm, true}}, true},
      {"main window minimised", {{kOwner, true}}, true},
      {"progress window minimised, the window manager took the main window along, the main "
       "window restored from the taskbar",
       {{kForm, true}, {kOwner, true}, {kOwner, false}},
       false},
      {"the same, the main window's notification first",
       {{kOwner, true}, {kForm, true}, {kOwner, false}},
       false},
      {"main window minimised and restored", {{kOwner, true}, {kOwner, false}}, false},
      {"both minimised, the progress window restored",
       {{kForm, true}, {kOwner, true}, {kForm, false}},
       false},
      {"progress window minimised and restored", {{kForm, true}, {kForm, false}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget owner;
    owner.setWindowTitle("Relabo 2.2 - Rename Files");
    owner.show();
    TProgressForm form(&owner);
    form.Start(4, "Rename");
    form.Step(1, "a", "b");
    // The window system reports while a file is being renamed; the step takes them all in.
    for (const Notification& n : c.notifications) {
      QWidget& window = n.window == kForm ? static_cast<QWidget&>(form) : owner;
      window.windowHandle()->setWindowStates(n.minimized ? Qt::WindowMinimized : Qt::WindowNoState);
    }
    // Quick steps let events through every few milliseconds; these steps take longer.
    std::this_thread::sleep_for(std::chrono::milliseconds(6));
    form.Step(2, "c", "d");
    EXPECT_EQ(IsMinimized(form), c.minimized);
    EXPECT_EQ(IsMinimized(owner), c.minimized);
    // The window system's answers to what the step asked for change nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(6));
    form.Step(3, "e", "f");
    EXPECT_EQ(IsMinimized(form), c.minimized);
    EXPECT_EQ(IsMinimized(owner), c.minimized);
    EXPECT_EQ(form.Minimized(), c.minimized);
    EXPECT_EQ(form.windowTitle(), c.minimized ? "66 % - Rename" : "Rename");
  }
}

TEST(FollowMinimize, ARestoreWinsAndNoWindowIsLeftAloneDisabled) {
  using F = MinimizeFollow;
  const MinimizeChanges none;
  const MinimizeChanges formMin{.formMinimized = true};
  const MinimizeChanges ownerMin{.ownerMinimized = true};
  const MinimizeChanges formBack{.formRestored = true};
  const MinimizeChanges ownerBack{.ownerRestored = true};
  const MinimizeChanges formMinOwnerBack{.formMinimized = true, .ownerRestored = true};
  const MinimizeChanges ownerMinFormBack{.formRestored = true, .ownerMinimized = true};
  const MinimizeChanges all{true, true, true, true};
  struct Case {
    const char* name;
    bool form, owner;
    MinimizeChanges changes;
    MinimizeFollow expected;
  };
  const Case cases[] = {
      {"both shown", false, false, none, F::Nothing},
      {"both minimised", true, true, formMin, F::Nothing},
      {"both shown after changes", false, false, all, F::Nothing},
      {"both minimised after a restore and a minimise", true, true, all, F::Nothing},
      {"progress window minimised", true, false, formMin, F::MinimizeBoth},
      {"owner minimised", false, true, ownerMin, F::MinimizeBoth},
      {"progress window restored", false, true, formBack, F::RestoreBoth},
      {"owner restored", true, false, ownerBack, F::RestoreBoth},
      {"progress minimised, owner restored: the restore wins", true, false, formMinOwnerBack,
       F::RestoreBoth},
      {"owner minimised, progress restored: the restore wins", false, true, ownerMinFormBack,
       F::RestoreBoth},
      {"progress minimised, owner did not follow", true, false, none, F::RestoreBoth},
      {"owner minimised, progress did not follow", false, true, none, F::Nothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FollowMinimize(c.form, c.owner, c.changes), c.expected);
  }
}

// Last in this file: the quit request leaves the application quitting.
TEST(ProgressForm, QuickStepsStillLetEventsThrough) {
  QWidget owner;
  owner.show();
  TProgressForm form(&owner);
  form.Start(INT_MAX, "Rename");
  int steps = 1;
  form.Step(steps, "a", "b");
  bool delivered = false;
  QTimer::singleShot(0, [&] { delivered = true; });
  // Far more steps than the window repaints for, within a few tens of milliseconds.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(40);
  while (!delivered && std::chrono::steady_clock::now() < end) form.Step(++steps, "a", "b");
  EXPECT_TRUE(delivered) << steps << " steps";
  EXPECT_GT(steps, 1);
}

TEST(ProgressForm, RefusesToCloseUnlessTheApplicationQuits) {
  TProgressForm form(nullptr);
  form.Start(2, "Rename");
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  QEvent quit(QEvent::Quit);
  QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace relabo
