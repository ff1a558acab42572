#include "ui/dock_rule.h"

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

}  // namespace relabo
