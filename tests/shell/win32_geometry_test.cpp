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
using Bar = shell::TaskbarPosition;

TEST(Win32Geometry, TheProgressWindowIsCentredWithHalvingsTruncatedTowardZero) {
  const struct {
    Rect over, at;
  } cases[] = {
      {{0, 0, 200, 500}, {-50, 215, 250, 285}},      // the main window's size at the origin
      {{412, 134, 612, 634}, {362, 349, 662, 419}},  // the centred main window
      {{-3, -7, 0, 0}, {-151, -38, 149, 32}},        // -3 / 2 is -1, not -2
      {{0, 0, 301, 71}, {0, 0, 300, 70}},            // odd positive sums round down
  };
  for (const auto& c : cases) EXPECT_EQ(shell::statusWindowRect(c.over), c.at) << c.over;
}

TEST(Win32Geometry, TheTrayTargetIsTheFirstOfTheNotificationAreaTaskBarTrayWindowAndWorkArea) {
  // A 1024 x 768 screen with a 30-pixel task bar at the bottom.
  const Rect bar{0, 738, 1024, 768}, work{0, 0, 1024, 738}, notify{900, 740, 1020, 766};
  const std::nullopt_t none = std::nullopt;
  const struct {
    const char* name;
    shell::TraySurroundings found;
    Rect at;
  } cases[] = {
      {"the notification area wins", {notify, Bar{bar, shell::kEdgeBottom}, bar, work}, notify},
      {"a bottom bar before the tray window", {none, Bar{bar, shell::kEdgeBottom}, bar, work}, {924, 738, 1008, 768}},
      {"a top bar", {none, Bar{{0, 0, 1024, 28}, shell::kEdgeTop}, none, work}, {924, 0, 1008, 28}},
      {"a left bar", {none, Bar{{0, 0, 60, 768}, shell::kEdgeLeft}, none, work}, {0, 668, 60, 752}},
      {"a right bar", {none, Bar{{964, 0, 1024, 700}, shell::kEdgeRight}, none, work}, {964, 600, 1024, 684}},
      {"an unknown edge keeps the caller's", {none, Bar{bar, 7}, bar, work}, {1, 2, 3, 4}},
      {"the tray window's corner", {none, none, bar, work}, {874, 738, 1024, 768}},
      {"a small tray window whole", {none, none, Rect{10, 20, 160, 50}, work}, {10, 20, 160, 50}},
      {"a tall tray window cut in height", {none, none, Rect{0, 0, 60, 768}, work}, {0, 738, 60, 768}},
      {"the work area's corner", {none, none, none, work}, {874, 708, 1024, 738}},
      {"another work area", {none, none, none, {100, 50, 800, 600}}, {650, 570, 800, 600}},
  };
  for (const auto& c : cases) EXPECT_EQ(shell::trayTargetRect(c.found, Rect{1, 2, 3, 4}), c.at) << c.name;
}

}  // namespace
