#include "shell/win32/win32_desktop.h"

#include "platform/terminal.h"
#include "shell/win32/dialogs.h"
#include "shell/win32/resources/resource.h"
#include "shell/win32/status_window.h"
#include "shell/win32/tray.h"

namespace win32 {
namespace {

app::Rect windowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return app::Rect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

Win32Desktop::Win32Desktop(HINSTANCE instance)
    : instance_(instance), menu_(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU))) {}

// The menu belongs to the main window once it is created, and goes with it.
Win32Desktop::~Win32Desktop() = default;

app::MessageAnswer Win32Desktop::messageBox(const std::string& text, const std::string& caption,
                                            app::MessageButtons buttons) {
  const bool yesNo = buttons == app::MessageButtons::kYesNo;
  const int answer = MessageBoxA(window_, text.c_str(), caption.c_str(), yesNo ? MB_YESNO : MB_OK);
  if (!yesNo) return app::MessageAnswer::kOk;
  return answer == IDYES ? app::MessageAnswer::kYes : app::MessageAnswer::kNo;
}

std::unique_ptr<app::ProgressView> Win32Desktop::showProgress(const app::Rect& over) {
  return std::make_unique<CStatusWindow>(over, instance_);
}

app::Rect Win32Desktop::desktopRect() const { return windowRect(GetDesktopWindow()); }

app::Rect Win32Desktop::mainWindowRect() const { return windowRect(window_); }

void Win32Desktop::setMenuCheck(int commandId, bool checked) {
  CheckMenuItem(menu_, static_cast<UINT>(commandId), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool Win32Desktop::runSignInDialog(app::LoginInfo& login) { return win32::runSignInDialog(instance_, window_, login); }

void Win32Desktop::showLinkCodeViewer(app::CodeKind kind, const std::string& text) {
  win32::showLinkCodeViewer(instance_, window_, kind, text);
}

// A browser that cannot be started goes unreported, as it always has.
void Win32Desktop::openInBrowser(const std::string& address) { platform::openInBrowser(address); }

void Win32Desktop::endProgram(int exitCode) { PostQuitMessage(exitCode); }

void Win32Desktop::minimiseToTray() { win32::minimiseToTray(window_, instance_); }

void Win32Desktop::restoreFromTray() { win32::restoreFromTray(window_); }

void Win32Desktop::removeTrayIcon() { win32::removeTrayIcon(window_); }

}  // namespace win32
