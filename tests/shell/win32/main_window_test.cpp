// The main window: its place, styles and menu, the option commands and their
// check marks, the exit codes, and hiding to the notification area.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/data_files.h"
#include "shell/commands.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/tray.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

using MainWindowPlacement = MainWindowTest;
using MainWindowMenu = MainWindowTest;
using MainWindowTray = MainWindowTest;
using MainWindowExit = MainWindowTest;

RECT rectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

std::string menuText(HMENU menu, UINT position) {
  char text[64] = {};
  GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(MainWindowPlacement, CentredOnTheDesktopAt200By500) {
  const RECT r = rectOf(hwnd());
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 500);
  RECT screen{};
  GetWindowRect(GetDesktopWindow(), &screen);
  EXPECT_EQ(r.left, (screen.right - screen.left - 200) / 2);
  EXPECT_EQ(r.top, (screen.bottom - screen.top - 500) / 2);
  if (screen.right - screen.left == 1024 && screen.bottom - screen.top == 768) {
    EXPECT_EQ(r.left, 412);
    EXPECT_EQ(r.top, 134);
    EXPECT_EQ(r.right, 612);
    EXPECT_EQ(r.bottom, 634);
  }
}

TEST_F(MainWindowPlacement, ClassTitleStylesAndTopmost) {
  char name[32] = {};
  GetClassNameA(hwnd(), name, sizeof name);
  EXPECT_STREQ(name, "Flingpost");
  char title[64] = {};
  GetWindowTextA(hwnd(), title, sizeof title);
  EXPECT_STREQ(title, "Kestrova Uploader");

  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_STYLE));
  EXPECT_EQ(style & 0x10CC0000u, 0x10CC0000u);  // visible, caption, system menu, sizing border
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  // The system may add WS_EX_WINDOWEDGE; the two bits asked for must be there.
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_EXSTYLE));
  EXPECT_EQ(exStyle & 0x208u, 0x208u);
  EXPECT_TRUE(IsWindowVisible(hwnd()));

  EXPECT_EQ(reinterpret_cast<HBRUSH>(GetClassLongPtrA(hwnd(), GCLP_HBRBACKGROUND)), GetStockObject(LTGRAY_BRUSH));
  EXPECT_NE(GetClassLongPtrA(hwnd(), GCLP_HICON), 0);
}

TEST_F(MainWindowPlacement, AlbumListFillsTheClientAreaAndAcceptsDrops) {
  ASSERT_TRUE(IsWindow(list()));
  EXPECT_EQ(GetParent(list()), hwnd());
  EXPECT_EQ(GetDlgCtrlID(list()), 107);
  char name[32] = {};
  GetClassNameA(list(), name, sizeof name);
  EXPECT_EQ(_stricmp(name, "LISTBOX"), 0) << name;
  // Exactly the list's own style; WS_VSCROLL (0x00200000) comes and goes with
  // the need to scroll. An added LBS_NOINTEGRALHEIGHT or LBS_SORT shows here.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(list(), GWL_STYLE)) & ~static_cast<DWORD>(WS_VSCROLL), 0x50000051u);
  EXPECT_NE(GetWindowLongPtrA(list(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  EXPECT_EQ(SendMessageA(list(), LB_GETITEMHEIGHT, 0, 0), 50);

  // The list is made over the whole client area, and Windows then trims it to
  // whole 50-pixel items. How high the client area is depends on the fonts
  // (the menu bar of a 200-pixel window wraps on some machines), so only the
  // rule is checked, not a height.
  RECT client{};
  GetClientRect(hwnd(), &client);
  MapWindowPoints(hwnd(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  const RECT listRect = rectOf(list());
  EXPECT_EQ(listRect.left, client.left);
  EXPECT_EQ(listRect.top, client.top);
  EXPECT_EQ(listRect.right, client.right);
  EXPECT_EQ(listRect.bottom, client.bottom - (client.bottom - client.top) % 50);
}

TEST_F(MainWindowMenu, HasTheFourMenusWithTheirCommands) {
  HMENU bar = GetMenu(hwnd());
  ASSERT_EQ(bar, desktop->menu());
  ASSERT_EQ(GetMenuItemCount(bar), 4);
  EXPECT_EQ(menuText(bar, 0), "File");
  EXPECT_EQ(menuText(bar, 1), "Options");
  EXPECT_EQ(menuText(bar, 2), "Link Codes");
  EXPECT_EQ(menuText(bar, 3), "Help");

  const struct {
    int id;
    const char* text;
  } items[] = {{40003, "Login"},          {40002, "Exit"},          {40006, "Disable Prompt"},
               {40011, "100x100"},        {40012, "200x200"},       {40013, "300x300"},
               {40014, "400x400"},        {40007, "View HTML"},     {40008, "View BBCode"},
               {40009, "Clear Code Cache"}, {40005, "About"}};
  for (const auto& item : items) {
    char text[64] = {};
    EXPECT_GT(GetMenuStringA(bar, item.id, text, sizeof text, MF_BYCOMMAND), 0) << item.id;
    EXPECT_STREQ(text, item.text);
  }
  HMENU options = GetSubMenu(bar, 1);
  EXPECT_EQ(menuText(options, 1), "Thumbnail Size");
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(options, 1)), 4);
}

TEST_F(MainWindowMenu, EachThumbnailSizeLeavesExactlyOneCheckMark) {
  const int ids[] = {40011, 40012, 40013, 40014};
  const int sizes[] = {100, 200, 300, 400};
  // In an order that passes every switch between neighbours and back.
  for (int pick : {2, 0, 3, 1, 2}) {
    EXPECT_EQ(command(ids[pick]), 0);
    EXPECT_EQ(state().thumbnailSize, sizes[pick]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(checked(ids[i]), i == pick) << "after " << ids[pick] << ", item " << ids[i];
  }
}

TEST_F(MainWindowMenu, DisablePromptIsCheckedWhileThePromptIsOff) {
  EXPECT_FALSE(checked(40006));
  command(40006);
  EXPECT_FALSE(state().promptBeforeUpload);
  EXPECT_TRUE(checked(40006));
  command(40006);
  EXPECT_TRUE(state().promptBeforeUpload);
  EXPECT_FALSE(checked(40006));
}

TEST_F(MainWindowMenu, AboutShowsItsBox) {
  ModalDriver driver;
  driver.answer("About Kestrova Flingpost", IDOK);
  command(40005);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].text, shell::kAboutText);
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(MainWindowMenu, ClearCodeCacheEmptiesTheFilesOnlyOnYes) {
  const std::string html = upload::cacheFilePath(upload::CodeKind::kHtml);
  const std::string bb = upload::cacheFilePath(upload::CodeKind::kBbcode);
  std::ofstream(html) << "<a href=\"i\"><img src=\"t\" border=0></a>";
  std::ofstream(bb) << "[URL=i][IMG]t[/IMG][/URL]";

  ModalDriver driver;
  driver.answer("Are you sure?", IDNO);
  command(40009);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].text, upload::kClearCacheQuestion);
  EXPECT_NE(readFile(html), "");
  EXPECT_NE(readFile(bb), "");

  driver.answer("Are you sure?", IDYES);
  command(40009);
  EXPECT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(readFile(html), "");
  EXPECT_EQ(readFile(bb), "");
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(MainWindowMenu, DoubleClickOnAnAlbumOpensItsPageAndASingleClickDoesNot) {
  addDemoAlbums();
  state().login.usergroup = "members";
  state().login.username = "demo";
  RECT item{};
  SendMessageA(list(), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 40, item.top + 20);
  SendMessageA(list(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list(), WM_LBUTTONUP, 0, at);
  pumpMessages(20);
  EXPECT_TRUE(desktop->opened.empty());
  EXPECT_EQ(SendMessageA(list(), LB_GETCURSEL, 0, 0), 2);

  SendMessageA(list(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageA(list(), WM_LBUTTONUP, 0, at);
  pumpMessages(20);
  ASSERT_EQ(desktop->opened.size(), 1u);
  EXPECT_EQ(desktop->opened[0], state().service.siteRoot() + "members/demo/view.php?aid=12");
}

TEST_F(MainWindowExit, FileExitEndsWithCode18) {
  command(shell::kCommandExit);
  EXPECT_EQ(quitCodes, std::vector<int>{18});
  EXPECT_TRUE(IsWindow(hwnd())) << "the loop ends; the window goes with the state";
}

TEST_F(MainWindowExit, DestroyingTheWindowEndsWithCode18) {
  DestroyWindow(hwnd());
  EXPECT_EQ(pumpMessages(20), std::vector<int>{18});
}

TEST_F(MainWindowExit, TheIconMenuOffersExitOnlyAndItsExitEndsWithCode0) {
  ModalDriver driver;
  EXPECT_EQ(SendMessageA(hwnd(), win32::kTrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);
  EXPECT_EQ(driver.menusClosed(), 1) << "the menu was tracked until the driver closed it";
  HMENU menu = window->trayMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 1);
  EXPECT_EQ(GetMenuItemID(menu, 0), 106u);
  EXPECT_EQ(menuText(menu, 0), "Exit");
  pumpMessages(20);
  EXPECT_TRUE(quitCodes.empty());

  command(shell::kCommandTrayExit);
  EXPECT_EQ(desktop->iconsRemoved, 1);
  EXPECT_EQ(quitCodes, std::vector<int>{0});
}

TEST_F(MainWindowTray, CloseHidesToTheTrayOnceAndADoubleClickThenReleaseRestores) {
  const RECT before = rectOf(hwnd());
  EXPECT_EQ(SendMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0), 0);
  pumpMessages(20);
  EXPECT_TRUE(IsWindow(hwnd())) << "closing must not destroy the window";
  EXPECT_FALSE(IsWindowVisible(hwnd()));
  EXPECT_TRUE(state().inTray);
  EXPECT_EQ(desktop->minimised, 1);

  // A second close while hidden does nothing.
  SendMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
  pumpMessages(20);
  EXPECT_EQ(desktop->minimised, 1);
  EXPECT_TRUE(IsWindow(hwnd()));

  // A single click does nothing.
  EXPECT_EQ(SendMessageA(hwnd(), win32::kTrayCallbackMessage, 0, WM_LBUTTONUP), 1);
  EXPECT_FALSE(IsWindowVisible(hwnd()));
  EXPECT_EQ(desktop->restored, 0);

  // A double click arms, the release restores.
  EXPECT_EQ(SendMessageA(hwnd(), win32::kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK), 1);
  EXPECT_FALSE(IsWindowVisible(hwnd()));
  EXPECT_EQ(SendMessageA(hwnd(), win32::kTrayCallbackMessage, 0, WM_LBUTTONUP), 1);
  pumpMessages(20);
  EXPECT_TRUE(IsWindowVisible(hwnd()));
  EXPECT_FALSE(state().inTray);
  EXPECT_FALSE(state().trayDoubleClicked);
  EXPECT_EQ(desktop->restored, 1);
  const RECT after = rectOf(hwnd());
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);

  // Hidden again, the cycle repeats.
  SendMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(desktop->minimised, 2);
  EXPECT_FALSE(IsWindowVisible(hwnd()));
}

// Both records name the window's icon 0 and the callback message.
void expectIconOfWindow(const NOTIFYICONDATAA& record, HWND owner) {
  EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
  EXPECT_EQ(record.hWnd, owner);
  EXPECT_EQ(record.uID, 0u);
  EXPECT_EQ(record.uCallbackMessage, static_cast<UINT>(WM_USER));
}

TEST(TrayIconRecord, AddingCarriesTipBalloonAndCallback) {
  HICON icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  const NOTIFYICONDATAA record = win32::trayIconToAdd(owner, icon);
  expectIconOfWindow(record, owner);
  EXPECT_EQ(record.uFlags, 0x17u);
  EXPECT_EQ(record.hIcon, icon);
  EXPECT_STREQ(record.szTip, "Kestrova Flingpost Uploader (click to maximize)");
  EXPECT_STREQ(record.szInfoTitle, "Kestrova Flingpost Uploader");
  EXPECT_STREQ(record.szInfo,
               "Kestrova Flingpost Uploader has been minimized to the system tray.\n\n"
               "Click this icon to restore the application.");
  EXPECT_EQ(std::string(record.szInfo).find('\r'), std::string::npos) << "bare line feeds only";
  EXPECT_EQ(record.uTimeout, 1000u);
  EXPECT_EQ(record.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

TEST(TrayIconRecord, RemovingNamesTheWindowAndIconOnly) {
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  const NOTIFYICONDATAA record = win32::trayIconToRemove(owner);
  expectIconOfWindow(record, owner);
  EXPECT_EQ(record.uFlags, 7u);
  EXPECT_EQ(record.hIcon, nullptr);
  EXPECT_STREQ(record.szTip, "");
  EXPECT_STREQ(record.szInfo, "");
}

}  // namespace
}  // namespace guitest
