// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dock_rule.h"

#include <algorithm>
#include <cstdint>

namespace relabo {

namespace {

// Wide enough that no sum or difference of two ints can overflow.
using Wide = std::int64_t;

bool Near(Wide a, Wide b, Wide border) { return (a > b ? a - b : b - a) < border; }

}  // namespace

DockRect DockDragStep(const DockRect& proposed, const DockBox& current, const DockRect& workArea,
                      const std::optional<DockBox>& owner, const DockSettings& settings) {
  if (!settings.docking) return proposed;
  const auto enabled = [&settings](TDockTo edge) {
    return (settings.dockType & DockBit(edge)) != 0;
  };
  const Wide border = settings.dockBorder;
  const Wide width = current.width;
  const Wide height = current.height;
  // The proposed right and bottom are read as given; only left and top move until the end.
  const Wide right = proposed.right;
  const Wide bottom = proposed.bottom;
  Wide left = proposed.left;
  Wide top = proposed.top;

  Wide ownerLeft = 0, ownerTop = 0, ownerRight = 0, ownerBottom = 0;
  if (owner) {
    ownerLeft = owner->left;
    ownerTop = owner->top;
    ownerRight = ownerLeft + owner->width;
    ownerBottom = ownerTop + owner->height;
  }
  const auto snapBelowOwner = [&] {
    if (owner && enabled(dtOwnerTop) && Near(top, ownerBottom, border) &&
        Near(left, ownerLeft, border)) {
      top = ownerBottom;
      left = ownerLeft;
    }
  };
  const auto snapRightOfOwner = [&] {
    if (owner && enabled(dtOwnerLeft) && Near(left, ownerRight, border) &&
        Near(top, ownerTop, border)) {
      top = ownerTop;
      left = ownerRight;
    }
  };

  if (top < current.top) {
    if (enabled(dtDesktopTop) && top < Wide(workArea.top) + border) top = workArea.top;
    snapBelowOwner();
    snapRightOfOwner();
  } else {
    if (enabled(dtDesktopBottom) && bottom > Wide(workArea.bottom) - border) {
      top = Wide(workArea.bottom) - height;
    }
    if (owner && enabled(dtOwnerBottom) && Near(top + height, ownerTop, border) &&
        Near(left, ownerLeft, border)) {
      top = ownerTop - height;
      left = ownerLeft;
    }
  }

  if (left < current.left) {
    if (enabled(dtDesktopLeft) && left < Wide(workArea.left) + border) left = workArea.left;
    snapBelowOwner();
    snapRightOfOwner();
  } else {
    if (enabled(dtDesktopRight) && right > Wide(workArea.right) - border) {
      left = Wide(workArea.right) - width;
    }
    if (owner && enabled(dtOwnerRight) && Near(top, ownerTop, border) &&
        Near(right, ownerLeft, border)) {
      top = ownerTop;
      left = ownerLeft - width;
    }
  }

  return DockRect{int(left), int(top), int(left + width), int(top + height)};
}

namespace {

// How far apart two rectangles lie (0 when they overlap), squared.
int64_t Distance2(const DockRect& a, const DockRect& b) {
  const int64_t dx = std::max<int64_t>({0, int64_t(b.left) - a.right, int64_t(a.left) - b.right});
  const int64_t dy = std::max<int64_t>({0, int64_t(b.top) - a.bottom, int64_t(a.top) - b.bottom});
  return dx * dx + dy * dy;
}

bool TitleBarOn(const DockRect& frame, const DockRect& area) {
  constexpr int kGrip = 50;
  if (frame.top < area.top || frame.top >= area.bottom) return false;
  const int shown = std::min(frame.right, area.right) - std::max(frame.left, area.left);
  return shown >= std::min(kGrip, frame.right - frame.left);
}

}  // namespace

DockRect KeepOnWorkAreas(const DockRect& frame, const std::vector<DockRect>& areas) {
  if (areas.empty()) return frame;
  for (const DockRect& area : areas) {
    if (TitleBarOn(frame, area)) return frame;
  }
  const DockRect* nearest = &areas.front();
  for (const DockRect& area : areas) {
    if (Distance2(frame, area) < Distance2(frame, *nearest)) nearest = &area;
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = std::max(nearest->left, std::min(frame.left, nearest->right - width));
  const int top = std::max(nearest->top, std::min(frame.top, nearest->bottom - height));
  return DockRect{left, top, left + width, top + height};
}

}  // namespace relabo
