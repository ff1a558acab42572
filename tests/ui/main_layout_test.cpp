// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/qt_print.h"

namespace relabo {
namespace {

// The design layout of the window's client area, in its own pixels.
TEST(MainLayout, AtTheDesignScaleEveryControlIsWhereTheDesignPutsIt) {
  const MainLayoutNeeds needs{22, 0, 0, 0, 0, 223};
  const MainLayout l = LayOutMainWindow(LayoutScale(), needs, QSize(458, 409));
  EXPECT_EQ(MainDesignSize(LayoutScale(), needs), QSize(458, 409));
  EXPECT_EQ(l.controlBar, QRect(0, 0, 458, 28));
  EXPECT_EQ(l.toolBar.topLeft(), QPoint(2, 2));
  EXPECT_EQ(l.controlLine, QRect(0, 26, 458, 2));
  EXPECT_EQ(l.parametersPanel, QRect(0, 28, 458, 93));
  EXPECT_EQ(l.pages, QRect(0, 0, 457, 93));
  EXPECT_EQ(l.pagesLine, QRect(0, 121, 458, 3));
  EXPECT_EQ(l.filesPanel, QRect(0, 124, 458, 285));
  EXPECT_EQ(l.drive, QRect(0, 1, 145, 22));
  EXPECT_EQ(l.folderPanel, QRect(0, 24, 457, 19));
  EXPECT_EQ(l.folderLabel, QRect(2, 2, 454, 14));
  EXPECT_EQ(l.headerPanel, QRect(0, 46, 457, 21));
  EXPECT_EQ(l.files, QRect(0, 68, 458, 197));
  EXPECT_EQ(l.statusBar, QRect(0, 266, 458, 19));
  EXPECT_EQ(l.statusPanels[0], QRect(0, 1, 150, 18));
  EXPECT_EQ(l.statusPanels[1], QRect(152, 1, 150, 18));
  EXPECT_EQ(l.nameWidth, 235);
}

TEST(MainLayout, NothingOverlapsOrLeavesTheClientAtAnyScale) {
  struct Case {
    const char* name;
    LayoutScale scale;
    MainLayoutNeeds needs;
    QSize client;  // beyond the design size
  };
  const Case cases[] = {
      {"default font", LayoutScale(1.27, 1.08), {24, 90, 26, 20, 22, 300}, {}},
      {"12 pt", LayoutScale(1.9, 1.46), {34, 150, 32, 25, 27, 420}, {}},
      {"twice", LayoutScale(2, 2), {44, 186, 44, 26, 38, 446}, {}},
      {"pages taller than their design", LayoutScale(1.1, 1.0), {22, 160, 22, 0, 0, 223}, {}},
      {"a list wider than the design", LayoutScale(1, 1), {22, 0, 0, 0, 0, 500}, {}},
      {"resized larger", LayoutScale(1.27, 1.08), {24, 90, 26, 20, 22, 300}, {1400, 1000}},
      {"asked smaller", LayoutScale(1.27, 1.08), {24, 90, 26, 20, 22, 300}, {100, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QSize design = MainDesignSize(c.scale, c.needs);
    const QSize client = c.client.isEmpty() ? design : c.client.expandedTo(design);
    const MainLayout l = LayOutMainWindow(c.scale, c.needs, c.client.isEmpty() ? design : c.client);
    const QRect all(QPoint(0, 0), client);
    // The bands, top to bottom, each inside the client and below the one before.
    const std::vector<QRect> bands = {l.controlBar, l.parametersPanel, l.pagesLine, l.filesPanel};
    for (size_t i = 0; i < bands.size(); ++i) {
      EXPECT_TRUE(all.contains(bands[i])) << i;
      if (i > 0) {
        EXPECT_EQ(bands[i].top(), bands[i - 1].bottom() + 1) << i;
      }
    }
    EXPECT_EQ(l.filesPanel.bottom(), client.height() - 1);
    EXPECT_GE(l.pages.height(), c.needs.pagesHeight);
    EXPECT_TRUE(QRect(QPoint(0, 0), l.controlBar.size()).contains(l.toolBar));
    // The files panel's controls, top to bottom, none over another.
    const QRect panel(QPoint(0, 0), l.filesPanel.size());
    const std::vector<QRect> rows = {l.drive, l.folderPanel, l.headerPanel, l.files, l.statusBar};
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_TRUE(panel.contains(rows[i])) << i;
      if (i > 0) {
        EXPECT_GT(rows[i].top(), rows[i - 1].bottom()) << i;
      }
    }
    EXPECT_GE(l.drive.height(), c.needs.driveHeight);
    EXPECT_GE(l.folderPanel.height(), c.needs.textHeight);
    EXPECT_GE(l.statusBar.height(), c.needs.textHeight);
    EXPECT_GE(l.headerPanel.height(), c.needs.headerHeight);
    EXPECT_TRUE(QRect(QPoint(0, 0), l.folderPanel.size()).contains(l.folderLabel));
    EXPECT_FALSE(l.statusPanels[0].intersects(l.statusPanels[1]));
    EXPECT_FALSE(l.statusPanels[1].intersects(l.statusNote));
    // The list spans the client; its name column takes what the other columns leave.
    EXPECT_EQ(l.files.width(), client.width());
    EXPECT_EQ(l.nameWidth + c.needs.listWidthBesideName,
              std::max(client.width(), c.needs.listWidthBesideName + c.scale.X(235)));
    // Extra height goes to the list alone.
    const MainLayout designLayout = LayOutMainWindow(c.scale, c.needs, design);
    EXPECT_EQ(l.files.height() - designLayout.files.height(), client.height() - design.height());
    EXPECT_EQ(l.parametersPanel,
              QRect(l.parametersPanel.topLeft(),
                    QSize(client.width(), designLayout.parametersPanel.height())));
  }
}

TEST(MainLayout, HeaderButtonsSpanTheirColumnsEdgeToEdge) {
  const std::vector<QRect> rects = HeaderButtonRects({20, 256, 320, 368, 408}, 457, 1, 19);
  ASSERT_EQ(rects.size(), 5u);
  EXPECT_EQ(rects[0], QRect(0, 1, 257, 19));
  EXPECT_EQ(rects[1], QRect(256, 1, 65, 19));
  EXPECT_EQ(rects[2], QRect(320, 1, 49, 19));
  EXPECT_EQ(rects[3], QRect(368, 1, 41, 19));
  EXPECT_EQ(rects[4], QRect(408, 1, 49, 19));
}

}  // namespace
}  // namespace relabo
