// The progress window: where it shows, what it holds, how its bar fills, and
// that its class is registered once however many windows are made.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "shell/win32/dialogs.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/png_writer.h"
#include "shell/win32/status_window.h"

namespace guitest {
namespace {

const HINSTANCE kModule = GetModuleHandleA(nullptr);

RECT rectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

TEST(StatusWindow, OverA200By500RectangleAtTheOriginItSitsAtMinus50And215) {
  win32::CStatusWindow status(app::Rect{0, 0, 200, 500}, kModule);
  const RECT r = rectOf(status.window());
  EXPECT_EQ(r.left, -50);
  EXPECT_EQ(r.top, 215);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 70);
}

TEST(StatusWindow, APopupWithABorderOnTopOfEverythingShownAtOnce) {
  win32::CStatusWindow status(app::Rect{412, 134, 612, 634}, kModule);
  HWND w = status.window();
  EXPECT_TRUE(IsWindowVisible(w));
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_STYLE));
  EXPECT_EQ(style & (WS_POPUP | WS_BORDER), static_cast<DWORD>(WS_POPUP | WS_BORDER));
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_BORDER)) << "no title bar";
  EXPECT_NE(GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetParent(w), nullptr);
  EXPECT_EQ(win32::windowText(w), "CStatusWindow");
  char name[32] = {};
  GetClassNameA(w, name, sizeof name);
  EXPECT_STREQ(name, "CStatusWindow");
}

TEST(StatusWindow, ATextLineOverABarFrom0To100) {
  win32::CStatusWindow status(app::Rect{412, 134, 612, 634}, kModule);
  ASSERT_TRUE(IsWindow(status.textLine()));
  ASSERT_TRUE(IsWindow(status.bar()));
  EXPECT_EQ(win32::windowText(status.textLine()), " ");
  EXPECT_NE(GetWindowLongPtrA(status.textLine(), GWL_STYLE) & SS_CENTER, 0);
  EXPECT_NE(GetWindowLongPtrA(status.bar(), GWL_STYLE) & PBS_SMOOTH, 0);

  RECT text = rectOf(status.textLine());
  RECT bar = rectOf(status.bar());
  POINT origin{0, 0};
  ClientToScreen(status.window(), &origin);
  EXPECT_EQ(text.left - origin.x, 0);
  EXPECT_EQ(text.top - origin.y, 0);
  EXPECT_EQ(text.right - text.left, 300);
  EXPECT_EQ(text.bottom - text.top, 20);
  EXPECT_EQ(bar.left - origin.x, 10);
  EXPECT_EQ(bar.top - origin.y, 35);
  EXPECT_EQ(bar.right - bar.left, 280);
  EXPECT_EQ(bar.bottom - bar.top, 20);

  PBRANGE range{};
  SendMessageA(status.bar(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageA(status.bar(), PBM_GETPOS, 0, 0), 0);

  status.setStatusText("Uploading file: a.jpg");
  status.setProgress(40);
  EXPECT_EQ(win32::windowText(status.textLine()), "Uploading file: a.jpg");
  EXPECT_EQ(SendMessageA(status.bar(), PBM_GETPOS, 0, 0), 40);
}

TEST(StatusWindow, TheBarFillsInProportion) {
  win32::CStatusWindow status(app::Rect{412, 134, 612, 634}, kModule);
  pumpMessages(100);
  auto barRow = [&](int percent) {
    status.setProgress(percent);
    const Image shown = captureWindow(status.bar());
    std::vector<uint32_t> row;
    for (int x = 0; x < shown.width; ++x) row.push_back(shown.at(x, shown.height / 2));
    return row;
  };
  const std::vector<uint32_t> empty = barRow(0);
  const std::vector<uint32_t> full = barRow(100);
  const std::vector<uint32_t> twentieth = barRow(5);
  ASSERT_EQ(empty.size(), 280u);
  // Filled columns show the full bar's colour, the others the empty bar's.
  auto filledColumns = [&](const std::vector<uint32_t>& row) {
    int filled = 0;
    for (size_t x = 3; x + 3 < row.size(); ++x) {
      if (row[x] == full[x] && row[x] != empty[x]) ++filled;
    }
    return filled;
  };
  const int inner = static_cast<int>(full.size()) - 6;
  EXPECT_NE(full[140], empty[140]) << "a full bar differs from an empty one";
  EXPECT_EQ(filledColumns(full), inner);
  EXPECT_NEAR(filledColumns(twentieth), 280 / 20, 5);
}

TEST(StatusWindow, GoesAwayWithItsControls) {
  HWND w, text, bar;
  {
    win32::CStatusWindow status(app::Rect{0, 0, 200, 500}, kModule);
    w = status.window();
    text = status.textLine();
    bar = status.bar();
    ASSERT_TRUE(IsWindow(w));
  }
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(IsWindow(text));
  EXPECT_FALSE(IsWindow(bar));
}

}  // namespace
}  // namespace guitest
