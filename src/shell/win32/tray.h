#pragma once
// Hiding the main window to the notification area and bringing it back: the
// frame is animated into (and out of) the notification area, and an icon with a
// tip and an information balloon stands for the window while it is hidden.
#include <windows.h>
#include <shellapi.h>

#include "app/rect.h"

namespace win32 {

// The notification icon's mouse messages reach the main window as this message,
// with the mouse message in the second parameter.
constexpr UINT kTrayCallbackMessage = WM_USER;
constexpr UINT kTrayIconId = 0;
constexpr UINT kTrayAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;  // 0x17
constexpr UINT kTrayRemoveFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;          // 7

extern const char kTrayTip[];
extern const char kTrayBalloonTitle[];
extern const char kTrayBalloonText[];

// The target of the animations: the notification area where it can be found,
// else a piece of the task bar or of the work area (shell::trayTargetRect).
app::Rect findTrayRect();

// The records for adding the icon of `window` and for removing it again.
NOTIFYICONDATAA trayIconToAdd(HWND window, HICON icon);
NOTIFYICONDATAA trayIconToRemove(HWND window);

void minimiseToTray(HWND window, HINSTANCE instance);
void restoreFromTray(HWND window);
void removeTrayIcon(HWND window);

}  // namespace win32
