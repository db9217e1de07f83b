// The main window: where it shows, the album list over its client area, the
// option commands' check marks, the ways out of the message loop, the album
// page on a double click, and hiding to the notification area.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/env.h"
#include "shell/commands.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/tray.h"

namespace guitest {
namespace {

TEST_F(MainWindowTest, ShowsAt200By500OnTopWithTheListOverItsWholeClientArea) {
  EXPECT_EQ(rectOf(hwnd()), state().placement);  // centred on the desktop by the state
  EXPECT_EQ(state().placement.width(), 200);
  EXPECT_EQ(state().placement.height(), 500);
  EXPECT_TRUE(IsWindowVisible(hwnd()));
  EXPECT_EQ(GetWindowLongPtrA(hwnd(), GWL_EXSTYLE) & 0x208, 0x208) << "client edge, topmost";

  EXPECT_EQ(GetParent(list()), hwnd());
  EXPECT_EQ(GetDlgCtrlID(list()), 107);
  // Exactly the list's own style; WS_VSCROLL comes and goes with the need to
  // scroll. An added LBS_NOINTEGRALHEIGHT or LBS_SORT shows here.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(list(), GWL_STYLE)) & ~static_cast<DWORD>(WS_VSCROLL), 0x50000051u);
  EXPECT_NE(GetWindowLongPtrA(list(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(SendMessageA(list(), LB_GETITEMHEIGHT, 0, 0), 50);
  // Made over the whole client area, the list is trimmed by Windows to whole
  // 50-pixel items. The client height depends on the fonts (the menu bar of a
  // 200-pixel window wraps on some machines), so the rule is checked, not a height.
  RECT client{};
  GetClientRect(hwnd(), &client);
  MapWindowPoints(hwnd(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  const int bottom = client.bottom - (client.bottom - client.top) % 50;
  EXPECT_EQ(rectOf(list()), (app::Rect{client.left, client.top, client.right, bottom}));
}

TEST_F(MainWindowTest, OneThumbnailSizeIsCheckedAndDisablePromptIsCheckedWhileThePromptIsOff) {
  const struct {
    int command;
    std::vector<int> checked;
    int thumb;
  } steps[] = {{40013, {40013}, 300},        {40011, {40011}, 100},        {40014, {40014}, 400},
               {40006, {40014, 40006}, 400}, {40012, {40012, 40006}, 200}, {40006, {40012}, 200}};
  for (const auto& s : steps) {
    EXPECT_EQ(command(s.command), 0);
    std::vector<int> now;
    for (int id : {40011, 40012, 40013, 40014, 40006}) {
      if (checked(id)) now.push_back(id);
    }
    EXPECT_EQ(now, s.checked) << "after " << s.command;
    EXPECT_EQ(state().thumbnailSize, s.thumb);
    EXPECT_EQ(state().promptBeforeUpload, !checked(40006));
  }
}

TEST_F(MainWindowTest, EachWayOutEndsTheMessageLoopWithItsCode) {
  ModalDriver driver;
  driver.answer("Winsock Error", IDOK);
  auto quits = [&] {
    const std::vector<int> more = pumpMessages();
    quitCodes.insert(quitCodes.end(), more.begin(), more.end());
    return std::exchange(quitCodes, {});
  };
  command(shell::kCommandExit);
  EXPECT_EQ(quits(), std::vector<int>{18}) << "File, Exit";

  SendMessageA(hwnd(), win32::kTrayCallbackMessage, 0, WM_RBUTTONDOWN);
  EXPECT_EQ(driver.menusClosed, 1) << "the icon's menu was tracked until the driver closed it";
  EXPECT_EQ(GetMenuItemCount(window->trayMenu()), 1);
  EXPECT_EQ(GetMenuItemID(window->trayMenu(), 0), 106u);
  EXPECT_EQ(quits(), std::vector<int>{});
  command(shell::kCommandTrayExit);
  EXPECT_EQ(desktop->iconsRemoved, 1);
  EXPECT_EQ(quits(), std::vector<int>{0}) << "the icon menu's Exit";

  struct NoNetwork : platform::Env {
    int startupSockets(uint16_t, uint16_t*) override { return 10091; }
  } noNetwork;
  state().env = &noNetwork;
  EXPECT_FALSE(window->start());
  state().env = &platform::Env::standard();
  EXPECT_EQ(driver.boxes.size(), 1u);
  EXPECT_FALSE(state().versionCheckStarted) << "no version check, no saved sign-in";
  EXPECT_EQ(quits(), std::vector<int>{1}) << "a network that cannot start";

  DestroyWindow(hwnd());
  EXPECT_EQ(quits(), std::vector<int>{18}) << "a destroyed window";
}

TEST_F(MainWindowTest, ADoubleClickOnAnAlbumOpensItsPageAndASingleClickDoesNot) {
  addDemoAlbums();
  state().login.usergroup = "members";
  state().login.username = "demo";
  for (UINT click : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
    SendMessageA(list(), click, MK_LBUTTON, MAKELPARAM(40, 120));  // on the third album
    SendMessageA(list(), WM_LBUTTONUP, 0, MAKELPARAM(40, 120));
    pumpMessages();
  }
  EXPECT_EQ(desktop->opened, std::vector<std::string>{state().service.siteRoot() + "members/demo/view.php?aid=12"});
}

TEST_F(MainWindowTest, CloseHidesToTheTrayOnceAndADoubleClickThenReleaseRestores) {
  const struct {
    UINT message;
    WPARAM w;
    LPARAM l;
    bool shown;
    int minimised, restored;
  } steps[] = {
      {WM_SYSCOMMAND, SC_CLOSE, 0, false, 1, 0},
      {WM_SYSCOMMAND, SC_CLOSE, 0, false, 1, 0},                    // hidden already: nothing
      {win32::kTrayCallbackMessage, 0, WM_LBUTTONUP, false, 1, 0},  // a single click: nothing
      {win32::kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK, false, 1, 0},
      {win32::kTrayCallbackMessage, 0, WM_LBUTTONUP, true, 1, 1},
      {WM_SYSCOMMAND, SC_CLOSE, 0, false, 2, 1},
  };
  for (const auto& s : steps) {
    SendMessageA(hwnd(), s.message, s.w, s.l);
    pumpMessages();
    EXPECT_EQ(IsWindowVisible(hwnd()) != FALSE, s.shown) << "step " << &s - steps;
    EXPECT_EQ(state().inTray, !s.shown) << "step " << &s - steps;
    EXPECT_EQ(desktop->minimised, s.minimised) << "step " << &s - steps;
    EXPECT_EQ(desktop->restored, s.restored) << "step " << &s - steps;
  }
}

// A notification icon record: size, window, id, flags, callback message, icon,
// time-out and balloon flags (handles, flags and message in hexadecimal), then
// "tip|balloon|title".
std::string describe(const NOTIFYICONDATAA& r) {
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "%u %x %u %x %x %x %u %u ", unsigned(r.cbSize),
                unsigned(reinterpret_cast<uintptr_t>(r.hWnd)), r.uID, r.uFlags, r.uCallbackMessage,
                unsigned(reinterpret_cast<uintptr_t>(r.hIcon)), r.uTimeout, unsigned(r.dwInfoFlags));
  return numbers + std::string(r.szTip) + "|" + r.szInfo + "|" + r.szInfoTitle;
}

TEST(TrayIconRecord, AddingCarriesTipAndBalloonAndRemovingNamesTheIconOnly) {
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  const HICON icon = reinterpret_cast<HICON>(0x5678);
  // The record with the balloon fields: 488 bytes in the 32-bit program (a
  // compile-time check there), larger in a 64-bit one.
  const std::string size = std::to_string(NOTIFYICONDATAA_V2_SIZE);
  EXPECT_EQ(describe(win32::trayIconToAdd(owner, icon)),
            size + " 1234 0 17 400 5678 1000 1 Kestrova Flingpost Uploader (click to maximize)|"
            "Kestrova Flingpost Uploader has been minimized to the system tray.\n\n"  // bare line feeds
            "Click this icon to restore the application.|Kestrova Flingpost Uploader");
  EXPECT_EQ(describe(win32::trayIconToRemove(owner)), size + " 1234 0 7 400 0 0 0 ||");
}

}  // namespace
}  // namespace guitest
