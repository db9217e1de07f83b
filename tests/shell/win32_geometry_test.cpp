#include "shell/win32_geometry.h"

#include <gtest/gtest.h>

#include <ostream>

namespace app {
// Readable failures: "412,134-612,634".
std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
}
}  // namespace app

namespace {

using app::Rect;
using shell::TaskbarPosition;
using shell::TraySurroundings;
using shell::trayTargetRect;

TEST(StatusWindowRect, CentredOverTheMainWindowSizeAtTheOriginStartsLeftOfTheScreen) {
  EXPECT_EQ(shell::statusWindowRect(Rect{0, 0, 200, 500}), (Rect{-50, 215, 250, 285}));
}

TEST(StatusWindowRect, CentredOverTheCentredMainWindow) {
  EXPECT_EQ(shell::statusWindowRect(Rect{412, 134, 612, 634}), (Rect{362, 349, 662, 419}));
}

TEST(StatusWindowRect, HalvingTruncatesTowardZeroForNegativeSums) {
  // (-3 + 0) / 2 is -1 (toward zero), not -2 (floor).
  EXPECT_EQ(shell::statusWindowRect(Rect{-3, -7, 0, 0}), (Rect{-151, -38, 149, 32}));
  // Odd positive sums round down.
  EXPECT_EQ(shell::statusWindowRect(Rect{0, 0, 301, 71}), (Rect{0, 0, 300, 70}));
}

class TrayTarget : public ::testing::Test {
 protected:
  // A 1024 x 768 screen with a 30-pixel task bar at the bottom.
  const Rect screenBar{0, 738, 1024, 768};
  const Rect workArea{0, 0, 1024, 738};
  TraySurroundings found{std::nullopt, std::nullopt, std::nullopt, workArea};
};

TEST_F(TrayTarget, TheNotificationAreaWinsOverEverythingElse) {
  found.notifyArea = Rect{900, 740, 1020, 766};
  found.taskbar = TaskbarPosition{screenBar, shell::kEdgeBottom};
  found.trayWindow = screenBar;
  EXPECT_EQ(trayTargetRect(found), (Rect{900, 740, 1020, 766}));
}

TEST_F(TrayTarget, BottomBarWithoutNotificationAreaSpansTheBarHeightNearItsRightEnd) {
  found.taskbar = TaskbarPosition{screenBar, shell::kEdgeBottom};
  found.trayWindow = screenBar;  // the bar's answer comes before the window
  EXPECT_EQ(trayTargetRect(found), (Rect{924, 738, 1008, 768}));
}

TEST_F(TrayTarget, TopBarIsTreatedLikeABottomBar) {
  found.taskbar = TaskbarPosition{Rect{0, 0, 1024, 28}, shell::kEdgeTop};
  EXPECT_EQ(trayTargetRect(found), (Rect{924, 0, 1008, 28}));
}

TEST_F(TrayTarget, LeftBarSpansTheBarWidthAboveItsBottom) {
  found.taskbar = TaskbarPosition{Rect{0, 0, 60, 768}, shell::kEdgeLeft};
  EXPECT_EQ(trayTargetRect(found), (Rect{0, 668, 60, 752}));
}

TEST_F(TrayTarget, RightBarIsTreatedLikeALeftBar) {
  found.taskbar = TaskbarPosition{Rect{964, 0, 1024, 700}, shell::kEdgeRight};
  EXPECT_EQ(trayTargetRect(found), (Rect{964, 600, 1024, 684}));
}

TEST_F(TrayTarget, AnUnknownEdgeLeavesTheCallersRectangleEvenWhenOtherFallbacksExist) {
  found.taskbar = TaskbarPosition{screenBar, 7};
  found.trayWindow = screenBar;
  EXPECT_EQ(trayTargetRect(found, Rect{1, 2, 3, 4}), (Rect{1, 2, 3, 4}));
}

TEST_F(TrayTarget, TrayWindowAloneGivesItsBottomRightCorner) {
  found.trayWindow = screenBar;
  EXPECT_EQ(trayTargetRect(found), (Rect{874, 738, 1024, 768}));
}

TEST_F(TrayTarget, ASmallTrayWindowIsKeptWhole) {
  // Not wider than 150, not higher than 30: nothing is cut.
  found.trayWindow = Rect{10, 20, 160, 50};
  EXPECT_EQ(trayTargetRect(found), (Rect{10, 20, 160, 50}));
  // Cut in one direction only.
  found.trayWindow = Rect{0, 0, 60, 768};
  EXPECT_EQ(trayTargetRect(found), (Rect{0, 738, 60, 768}));
}

TEST_F(TrayTarget, NoTaskBarAtAllGivesTheCornerOfTheWorkArea) {
  EXPECT_EQ(trayTargetRect(found), (Rect{874, 708, 1024, 738}));
  found.workArea = Rect{100, 50, 800, 600};
  EXPECT_EQ(trayTargetRect(found), (Rect{650, 570, 800, 600}));
}

}  // namespace
