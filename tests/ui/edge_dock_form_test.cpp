// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/edge_dock_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

namespace relabo {
namespace {

void EnsureApplication() {
  if (QApplication::instance()) return;
  // Never the machine's display, whatever the environment says.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "relabo_ui_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

class EdgeDockFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    m_area = QGuiApplication::primaryScreen()->availableGeometry();
  }

  // A shown form resting at (left, top) of the work area.
  void ShowAt(TEdgeDockForm& form, int left, int top) {
    form.resize(300, 200);
    form.move(m_area.left() + left, m_area.top() + top);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.FinishMove();
  }

  QRect m_area;
};

TEST_F(EdgeDockFormTest, DefaultsAndNoDockingOffscreen) {
  TEdgeDockForm form;
  EXPECT_TRUE(form.Docking());
  EXPECT_EQ(form.DockBorder(), 20);
  EXPECT_EQ(form.DockType(), 0x5F);
  EXPECT_FALSE(TEdgeDockForm::PlatformSupportsDocking());
}

TEST_F(EdgeDockFormTest, SnapsWhenAMoveEnds) {
  TEdgeDockForm form;
  ShowAt(form, 100, 100);
  form.move(m_area.left() + 100, m_area.top() + 12);
  form.FinishMove();
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(m_area.left() + 100, m_area.top()));
  EXPECT_EQ(form.size(), QSize(300, 200));

  // Away from the edge again: not held.
  form.move(m_area.left() + 100, m_area.top() + 5);
  form.FinishMove();
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(m_area.left() + 100, m_area.top() + 5));
}

TEST_F(EdgeDockFormTest, LeavesTheWindowAloneWhenOffOrMaximised) {
  TEdgeDockForm off;
  off.SetDocking(false);
  ShowAt(off, 100, 100);
  off.move(m_area.left() + 100, m_area.top() + 12);
  off.FinishMove();
  EXPECT_EQ(off.frameGeometry().top(), m_area.top() + 12);

  TEdgeDockForm maximised;
  ShowAt(maximised, 100, 100);
  maximised.setWindowState(Qt::WindowMaximized);
  const QPoint where = maximised.frameGeometry().topLeft();
  maximised.FinishMove();
  EXPECT_EQ(maximised.frameGeometry().topLeft(), where);
}

TEST_F(EdgeDockFormTest, SnapsBelowItsOwner) {
  TEdgeDockForm owner;
  ShowAt(owner, 100, 50);
  TEdgeDockForm form(&owner);
  ShowAt(form, 300, 400);
  const QRect o = owner.frameGeometry();
  form.move(o.left() + 8, o.top() + o.height() + 10);
  form.FinishMove();
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(o.left(), o.top() + o.height()));
}

}  // namespace
}  // namespace relabo
