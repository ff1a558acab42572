// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_layout.h"

#include <algorithm>

namespace relabo {

namespace {

// The design layout, in units: the client area and its bands.
constexpr int kClientWidth = 458;
constexpr int kClientHeight = 409;
constexpr int kControlBarHeight = 28;
constexpr int kPagesHeight = 93;
constexpr int kPagesLineHeight = 3;
constexpr int kDriveWidth = 145;
constexpr int kDriveHeight = 22;
constexpr int kStripHeight = 19;  // the folder panel and the status bar
constexpr int kHeaderHeight = 21;
constexpr int kListHeight = 197;
constexpr int kNameWidth = 235;
constexpr int kStatusPanelWidth = 150;
constexpr int kGap = 1;        // between the bands of the files panel
constexpr int kHeaderGap = 3;  // above the header, below the folder strip

// The heights of the bands, each its design height or what its control needs.
struct Bands {
  int controlBar, pages, pagesLine, drive, folder, header, list, status;
};

Bands BandsFor(const LayoutScale& s, const MainLayoutNeeds& n) {
  Bands b;
  b.controlBar = std::max(s.Y(kControlBarHeight), n.toolBarHeight + s.Y(6));
  b.pages = std::max(s.Y(kPagesHeight), n.pagesHeight);
  b.pagesLine = s.Y(kPagesLineHeight);
  b.drive = std::max(s.Y(kDriveHeight), n.driveHeight);
  b.folder = std::max(s.Y(kStripHeight), n.textHeight);
  b.header = std::max(s.Y(kHeaderHeight), n.headerHeight + s.Y(2));
  b.list = s.Y(kListHeight);
  b.status = std::max(s.Y(kStripHeight), n.textHeight);
  return b;
}

int FilesPanelHeight(const LayoutScale& s, const Bands& b, int listHeight) {
  // Volume selector, folder strip, header, list and status bar, a gap above each.
  return 4 * s.Y(kGap) + s.Y(kHeaderGap) + b.drive + b.folder + b.header + listHeight + b.status;
}

}  // namespace

QSize MainDesignSize(const LayoutScale& scale, const MainLayoutNeeds& needs) {
  const Bands b = BandsFor(scale, needs);
  const int width =
      std::max(scale.X(kClientWidth), needs.listWidthBesideName + scale.X(kNameWidth));
  const int height = std::max(scale.Y(kClientHeight), b.controlBar + b.pages + b.pagesLine +
                                                          FilesPanelHeight(scale, b, b.list));
  return QSize(width, height);
}

MainLayout LayOutMainWindow(const LayoutScale& s, const MainLayoutNeeds& needs, QSize client) {
  const QSize design = MainDesignSize(s, needs);
  client = client.expandedTo(design);
  const int width = client.width();
  const Bands b = BandsFor(s, needs);
  MainLayout l;

  l.controlBar = QRect(0, 0, width, b.controlBar);
  l.controlLine = QRect(0, b.controlBar - s.Y(2), width, s.Y(2));
  l.toolBar = QRect(s.X(2), (b.controlBar - s.Y(2) - needs.toolBarHeight) / 2, width - s.X(4),
                    needs.toolBarHeight);

  l.parametersPanel = QRect(0, l.controlBar.bottom() + 1, width, b.pages);
  l.pages = QRect(0, 0, width - s.X(1), b.pages);
  l.pagesLine = QRect(0, l.parametersPanel.bottom() + 1, width, b.pagesLine);

  // The design height beyond the bands (the bands may have grown) goes to the list as well.
  const int filesTop = l.pagesLine.bottom() + 1;
  const int listHeight = b.list + client.height() - filesTop - FilesPanelHeight(s, b, b.list);
  l.filesPanel = QRect(0, filesTop, width, client.height() - filesTop);

  const int gap = s.Y(kGap);
  l.drive = QRect(0, gap, s.X(kDriveWidth), b.drive);
  l.folderPanel = QRect(0, l.drive.bottom() + 1 + gap, width - s.X(1), b.folder);
  l.folderLabel =
      QRect(s.X(2), s.Y(2), l.folderPanel.width() - s.X(3), l.folderPanel.height() - s.Y(5));
  l.headerPanel = QRect(0, l.folderPanel.bottom() + 1 + s.Y(kHeaderGap), width - s.X(1), b.header);
  l.files = QRect(0, l.headerPanel.bottom() + 1 + gap, width, listHeight);
  l.statusBar = QRect(0, l.files.bottom() + 1 + gap, width, b.status);
  const int panel = s.X(kStatusPanelWidth);
  for (int i = 0; i < 2; ++i) {
    l.statusPanels[size_t(i)] = QRect(i * (panel + s.X(2)), gap, panel, b.status - gap);
  }
  const int noteLeft = 2 * (panel + s.X(2));
  l.statusNote = QRect(noteLeft, gap, std::max(0, width - noteLeft), b.status - gap);
  l.nameWidth = std::max(s.X(kNameWidth), width - needs.listWidthBesideName);
  return l;
}

std::vector<QRect> HeaderButtonRects(const std::vector<int>& columnLefts, int panelWidth, int top,
                                     int height) {
  std::vector<QRect> rects(columnLefts.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    const int left = i == 0 ? 0 : columnLefts[i];
    const int right = i + 1 < rects.size() ? columnLefts[i + 1] : panelWidth - 1;
    rects[i] = QRect(left, top, std::max(1, right - left + 1), height);
  }
  return rects;
}

}  // namespace relabo
