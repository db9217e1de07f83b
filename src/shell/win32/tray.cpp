#include "shell/win32/tray.h"

#include <cstring>

#include "shell/win32/resources/resource.h"
#include "shell/win32_geometry.h"

namespace win32 {
namespace {

// The notification record with the balloon fields, as every shell since the
// balloons understands it; the newer fields past them stay unused.
constexpr DWORD kRecordSize = NOTIFYICONDATAA_V2_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the 32-bit notification record with balloon fields is 488 bytes");
#endif

constexpr UINT kBalloonTimeoutMs = 1000;
constexpr UINT kAnimateCaption = IDANI_CAPTION;

template <size_t N>
void copyText(char (&field)[N], const char* text) {
  strncpy(field, text, N - 1);
  field[N - 1] = '\0';
}

app::Rect toRect(const RECT& r) { return app::Rect{r.left, r.top, r.right, r.bottom}; }
RECT toRECT(const app::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// The window with icon 0 identifies the icon; everything not set is zero.
NOTIFYICONDATAA iconOfWindow(HWND window, UINT flags) {
  NOTIFYICONDATAA record{};
  record.cbSize = kRecordSize;
  record.hWnd = window;
  record.uID = kTrayIconId;
  record.uFlags = flags;
  record.uCallbackMessage = kTrayCallbackMessage;
  return record;
}

void animate(HWND window, const RECT& from, const RECT& to) {
  DrawAnimatedRects(window, kAnimateCaption, &from, &to);
}

}  // namespace

const char kTrayTip[] = "Kestrova Flingpost Uploader (click to maximize)";
const char kTrayBalloonTitle[] = "Kestrova Flingpost Uploader";
// Bare line feeds: the balloon breaks its lines at them.
const char kTrayBalloonText[] =
    "Kestrova Flingpost Uploader has been minimized to the system tray.\n\n"
    "Click this icon to restore the application.";

app::Rect findTrayRect() {
  shell::TraySurroundings found;
  RECT r{};
  HWND tray = FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr);
  if (tray) {
    HWND notify = FindWindowExA(tray, nullptr, "TrayNotifyWnd", nullptr);
    if (notify && GetWindowRect(notify, &r)) found.notifyArea = toRect(r);
    if (GetWindowRect(tray, &r)) found.trayWindow = toRect(r);
  }
  if (!found.notifyArea) {
    APPBARDATA bar{};
    bar.cbSize = sizeof bar;
    if (SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) found.taskbar = shell::TaskbarPosition{toRect(bar.rc), bar.uEdge};
  }
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) found.workArea = toRect(r);
  return shell::trayTargetRect(found);
}

NOTIFYICONDATAA trayIconToAdd(HWND window, HICON icon) {
  NOTIFYICONDATAA record = iconOfWindow(window, kTrayAddFlags);
  record.hIcon = icon;
  copyText(record.szTip, kTrayTip);
  copyText(record.szInfo, kTrayBalloonText);
  record.uTimeout = kBalloonTimeoutMs;
  copyText(record.szInfoTitle, kTrayBalloonTitle);
  record.dwInfoFlags = NIIF_INFO;
  return record;
}

NOTIFYICONDATAA trayIconToRemove(HWND window) { return iconOfWindow(window, kTrayRemoveFlags); }

void minimiseToTray(HWND window, HINSTANCE instance) {
  const RECT to = toRECT(findTrayRect());
  RECT from{};
  GetWindowRect(window, &from);
  animate(window, from, to);
  ShowWindow(window, SW_HIDE);
  NOTIFYICONDATAA record = trayIconToAdd(window, LoadIconA(instance, MAKEINTRESOURCEA(IDI_FLINGPOST)));
  Shell_NotifyIconA(NIM_ADD, &record);
}

void restoreFromTray(HWND window) {
  const RECT from = toRECT(findTrayRect());
  RECT to{};
  GetWindowRect(window, &to);  // a hidden window keeps its rectangle
  animate(window, from, to);
  ShowWindow(window, SW_SHOW);
  SetActiveWindow(window);
  SetForegroundWindow(window);
  removeTrayIcon(window);
}

void removeTrayIcon(HWND window) {
  NOTIFYICONDATAA record = trayIconToRemove(window);
  Shell_NotifyIconA(NIM_DELETE, &record);
}

}  // namespace win32
