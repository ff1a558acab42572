// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <vector>

#include "engine/layout_scale.h"

namespace relabo {

/// What the main window's controls need beyond their design sizes, measured in the font in
/// use; 0 where the design size is enough.
struct MainLayoutNeeds {
  int toolBarHeight = 0;  // the tool buttons' row
  int pagesHeight = 0;    // the tallest command page
  int driveHeight = 0;    // the volume selector
  int textHeight = 0;     // one line of text in a sunken strip (folder, header, status)
  int headerHeight = 0;   // a header button
  /// The file list's width without its name column (glyph, other columns, scroll bar, frame).
  int listWidthBesideName = 0;
};

/// Where the main window's bands and controls go in its client area. The files panel's
/// controls are in the panel's coordinates, the tool bar in the control bar's, the pages in
/// the parameters panel's and the path label in the folder panel's.
struct MainLayout {
  QRect controlBar, toolBar, controlLine;
  QRect parametersPanel, pages;
  QRect pagesLine;
  QRect filesPanel;
  QRect drive, folderPanel, folderLabel, headerPanel, files, statusBar;
  std::array<QRect, 2> statusPanels;
  QRect statusNote;  // in the status bar's coordinates, as the panels
  /// The file list's name column: what the list's width leaves of it.
  int nameWidth = 0;
};

/// The design client area (458 x 409 units) scaled, grown where a control needs more.
QSize MainDesignSize(const LayoutScale& scale, const MainLayoutNeeds& needs);

/// The layout for a client area at least as large as the design size (a smaller one counts as
/// the design size): extra height goes to the file list, extra width to its name column.
MainLayout LayOutMainWindow(const LayoutScale& scale, const MainLayoutNeeds& needs, QSize client);

/// The header buttons over the file list's columns: each from the left edge of its column (the
/// first from the panel's left) to the next one's, one pixel over it as the design has it, the
/// last to the panel's right edge. columnLefts are the columns' left edges in the header
/// panel's coordinates.
std::vector<QRect> HeaderButtonRects(const std::vector<int>& columnLefts, int panelWidth, int top,
                                     int height);

}  // namespace relabo
