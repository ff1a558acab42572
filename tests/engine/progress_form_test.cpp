#include "engine/progress_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <climits>
#include <memory>

#include "fileutil/error.h"

namespace relabo {
namespace {

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
  EXPECT_EQ(form.size(), QSize(348, 81));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  form.resize(500, 200);
  EXPECT_EQ(form.size(), QSize(348, 81));
  const auto* panel = form.findChild<QFrame*>("ProgressPanel");
  EXPECT_EQ(form.findChild<TProgressGauge*>("Progress")->geometry(), panel->contentsRect());
}

TEST(ProgressForm, CentresOverItsOwnerRoundingTowardsZero) {
  struct Case {
    const char* name;
    QRect owner;
    QPoint expected;
  };
  const Case cases[] = {
      // (301 - 348) / 2 = -23 and (60 - 81) / 2 = -10; rounding down would give -24 and -11.
      {"owner smaller, odd differences", QRect(100, 50, 301, 60), QPoint(77, 40)},
      {"owner larger, odd differences", QRect(10, 20, 801, 601), QPoint(236, 280)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget owner;
    owner.setGeometry(c.owner);
    TProgressForm form(&owner);
    EXPECT_EQ(form.pos(), c.expected);
  }
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
  EXPECT_TRUE(form.Minimized());
  EXPECT_EQ(form.windowTitle(), "100 % - Rename");
  form.setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(owner.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(form.windowTitle(), "Rename");
}

// Last in this file: the quit request leaves the application quitting.
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
