// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace relabo {

/// The edges a window can snap to; the value is the bit of the edge in TDockType.
enum TDockTo : std::uint8_t {
  dtDesktopTop = 0,     // its top to the top of the work area
  dtDesktopBottom = 1,  // its bottom to the bottom of the work area
  dtDesktopLeft = 2,    // its left to the left of the work area
  dtDesktopRight = 3,   // its right to the right of the work area
  dtOwnerTop = 4,       // directly below the owner, left edges aligned
  dtOwnerBottom = 5,    // directly above the owner, left edges aligned
  dtOwnerLeft = 6,      // directly right of the owner, top edges aligned
  dtOwnerRight = 7,     // directly left of the owner, top edges aligned
};

/// A set of TDockTo, bit n for value n.
using TDockType = std::uint8_t;

constexpr TDockType DockBit(TDockTo edge) { return TDockType(1u << edge); }

/// The four desktop edges, owner top and owner left.
constexpr TDockType kDefaultDockType = DockBit(dtDesktopTop) | DockBit(dtDesktopBottom) |
                                       DockBit(dtDesktopLeft) | DockBit(dtDesktopRight) |
                                       DockBit(dtOwnerTop) | DockBit(dtOwnerLeft);
constexpr int kDefaultDockBorder = 20;

/// Screen rectangle; right and bottom lie just outside it (right = left + width).
struct DockRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const DockRect&) const = default;
};

/// Position and size of a window.
struct DockBox {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const DockBox&) const = default;
};

struct DockSettings {
  bool docking = true;
  int dockBorder = kDefaultDockBorder;  // the snapping distance in pixels
  TDockType dockType = kDefaultDockType;
};

/// One step of a drag: where a window at `current` goes when it is to move to `proposed`.
/// Moving toward an enabled desktop edge, it stops on the edge when it is nearer than the
/// border or past it; it snaps onto an owner's edge and corner when both distances are below
/// the border. The direction of the move picks the rules. The size is always current's.
/// `owner` is empty when the window has no owner with a place on the screen.
DockRect DockDragStep(const DockRect& proposed, const DockBox& current, const DockRect& workArea,
                      const std::optional<DockBox>& owner, const DockSettings& settings);

/// Where a window whose frame is `frame` may stay: where it is when its title bar can be taken
/// on one of the work areas (its top edge lies in an area that holds at least a strip of the
/// frame's top 50 pixels wide, or all of it when narrower); otherwise moved into the work area
/// nearest to it, its top left corner first where it is larger than that area. No areas:
/// where it is.
DockRect KeepOnWorkAreas(const DockRect& frame, const std::vector<DockRect>& areas);

}  // namespace relabo
