// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dock_rule.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace relabo {
namespace {

constexpr DockRect kWorkArea{0, 0, 1024, 738};
constexpr int kWidth = 466;
constexpr int kHeight = 455;

DockRect At(int left, int top) { return DockRect{left, top, left + kWidth, top + kHeight}; }
DockBox BoxAt(int left, int top) { return DockBox{left, top, kWidth, kHeight}; }

constexpr TDockType kAllEdges = 0xFF;
constexpr DockBox kOwner{100, 100, 300, 200};  // right edge 400, bottom edge 300

struct Case {
  const char* name;
  DockBox current;
  DockRect proposed;
  DockRect expected;
  std::optional<DockBox> owner = std::nullopt;
  DockSettings settings = {};
};

TEST(DockRuleTest, DragSteps) {
  const Case cases[] = {
      // Desktop edges, default settings.
      {"up to 15: onto the top edge", BoxAt(200, 100), At(200, 15), At(200, 0)},
      {"up to 20: not nearer than the border", BoxAt(200, 100), At(200, 20), At(200, 20)},
      {"up past the edge stops on it", BoxAt(200, 100), At(200, -50), At(200, 0)},
      {"down to bottom 719: onto the bottom edge", BoxAt(200, 200), At(200, 264), At(200, 283)},
      {"down to bottom 718: left alone", BoxAt(200, 200), At(200, 263), At(200, 263)},
      {"down past the edge stops on it", BoxAt(200, 200), At(200, 500), At(200, 283)},
      {"left to 19: onto the left edge", BoxAt(200, 100), At(19, 100), At(0, 100)},
      {"left to 20: left alone", BoxAt(200, 100), At(20, 100), At(20, 100)},
      {"right to right 1005: onto the right edge", BoxAt(200, 100), At(539, 100), At(558, 100)},
      {"right to right 1004: left alone", BoxAt(200, 100), At(538, 100), At(538, 100)},
      {"sideways near the bottom: onto the bottom edge", BoxAt(200, 275), At(250, 275),
       At(250, 283)},
      {"sideways on the bottom edge stays there", BoxAt(200, 283), At(150, 283), At(150, 283)},
      {"away from the top edge: not resisted", BoxAt(200, 0), At(200, 3), At(200, 3)},
      {"away from the left edge: not resisted", BoxAt(0, 100), At(2, 100), At(2, 100)},
      {"into a corner: both edges", BoxAt(200, 100), At(10, 12), At(0, 0)},
      {"a proposal of another size keeps the form's size", BoxAt(200, 100),
       DockRect{300, 100, 310, 110}, At(300, 100)},
      // Switched off.
      {"docking off", BoxAt(200, 100), At(-50, -50), At(-50, -50), std::nullopt,
       DockSettings{false, 20, kDefaultDockType}},
      {"no edges enabled", BoxAt(200, 100), At(-50, -50), At(-50, -50), std::nullopt,
       DockSettings{true, 20, 0}},
      // A border of 0: still a wall, never a snap.
      {"border 0: no snapping zone", BoxAt(200, 100), At(1, 1), At(1, 1), std::nullopt,
       DockSettings{true, 0, kDefaultDockType}},
      {"border 0: the top edge still stops it", BoxAt(200, 100), At(200, -5), At(200, 0),
       std::nullopt, DockSettings{true, 0, kDefaultDockType}},
      {"border 0: the left edge still stops it", BoxAt(200, 100), At(-1, 100), At(0, 100),
       std::nullopt, DockSettings{true, 0, kDefaultDockType}},
      {"border 0: no owner snapping", BoxAt(150, 400), At(101, 301), At(101, 301), kOwner,
       DockSettings{true, 0, kAllEdges}},
      // The owner's edges.
      {"below the owner, corner aligned", BoxAt(150, 400), At(108, 310), At(100, 300), kOwner},
      {"below the owner while moving left only", DockBox{150, 305, 200, 150},
       DockRect{110, 305, 310, 455}, DockRect{100, 300, 300, 450}, kOwner},
      {"below the owner needs both distances", BoxAt(150, 400), At(125, 310), At(125, 310), kOwner},
      {"below the owner: no owner", BoxAt(150, 400), At(108, 310), At(108, 310)},
      {"below the owner: edge not enabled", BoxAt(150, 400), At(108, 310), At(108, 310), kOwner,
       DockSettings{true, 20, DockBit(dtOwnerLeft)}},
      {"right of the owner, tops aligned", BoxAt(500, 150), At(405, 95), At(400, 100), kOwner},
      {"right of the owner while moving down: not a rule", BoxAt(405, 50), At(405, 95), At(405, 95),
       kOwner},
      {"above the owner (enabled)", BoxAt(105, -400), At(105, -350), At(100, -355),
       DockBox{100, 100, 300, 200}, DockSettings{true, 20, kAllEdges}},
      {"above the owner: not in the default set", BoxAt(105, -400), At(105, -350), At(105, -350),
       kOwner},
      {"left of the owner (enabled)", BoxAt(-400, 100), At(-360, 104), At(-366, 100), kOwner,
       DockSettings{true, 20, kAllEdges}},
      {"left of the owner: not in the default set", BoxAt(-400, 100), At(-360, 104), At(-360, 104),
       kOwner},
      // Numbers at the ends of the range do not overflow.
      {"huge border: every edge is near", BoxAt(200, 100), At(200, 50), At(558, 0), std::nullopt,
       DockSettings{true, INT_MAX, kDefaultDockType}},
      {"negative border: never near", BoxAt(200, 100), At(200, 5), At(200, 5), std::nullopt,
       DockSettings{true, -20, kDefaultDockType}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DockRect r = DockDragStep(c.proposed, c.current, kWorkArea, c.owner, c.settings);
    EXPECT_EQ(r, c.expected) << r.left << "," << r.top << " " << r.right << "," << r.bottom;
    EXPECT_EQ(r.right - r.left, c.current.width);
    EXPECT_EQ(r.bottom - r.top, c.current.height);
  }
}

TEST(DockRuleTest, WorkAreaOfASecondScreen) {
  const DockRect secondScreen{1024, 0, 2048, 738};
  const DockRect r = DockDragStep(At(1030, 100), BoxAt(1200, 100), secondScreen, std::nullopt, {});
  EXPECT_EQ(r, At(1024, 100));
}

}  // namespace
}  // namespace relabo

namespace relabo {
namespace {

TEST(KeepOnWorkAreas, AWindowThatCannotBeTakenByItsTitleBarIsBroughtBack) {
  const DockRect left{0, 0, 1920, 1040};        // a panel below
  const DockRect right{1920, 200, 3200, 1224};  // a second screen, lower
  struct Case {
    const char* name;
    DockRect frame;
    std::vector<DockRect> areas;
    DockRect expected;
  } cases[] = {
      {"on the screen stays", {100, 100, 560, 560}, {left}, {100, 100, 560, 560}},
      {"partly off the right edge stays", {1800, 100, 2260, 560}, {left}, {1800, 100, 2260, 560}},
      {"title bar on the second screen stays",
       {2000, 300, 2460, 760},
       {left, right},
       {2000, 300, 2460, 760}},
      {"far to the right", {5000, 100, 5460, 560}, {left}, {1460, 100, 1920, 560}},
      {"above the top", {100, -300, 560, 160}, {left}, {100, 0, 560, 460}},
      {"title bar just above the top", {100, -1, 560, 459}, {left}, {100, 0, 560, 460}},
      {"below the panel", {100, 1100, 560, 1560}, {left}, {100, 580, 560, 1040}},
      {"a strip narrower than the grip", {1890, 100, 2350, 560}, {left}, {1460, 100, 1920, 560}},
      {"nearest is the second screen",
       {3500, 150, 3960, 610},
       {left, right},
       {2740, 200, 3200, 660}},
      {"where the second screen was", {2000, 300, 2460, 760}, {left}, {1460, 300, 1920, 760}},
      {"larger than the area: top left first", {-50, -50, 2950, 1950}, {left}, {0, 0, 3000, 2000}},
      {"no screens", {5000, 5000, 5100, 5100}, {}, {5000, 5000, 5100, 5100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(KeepOnWorkAreas(c.frame, c.areas), c.expected);
  }
}

}  // namespace
}  // namespace relabo
