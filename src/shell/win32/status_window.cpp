#include "shell/win32/status_window.h"

#include <commctrl.h>

#include "platform/charset.h"
#include "shell/win32/window_proc.h"
#include "shell/win32_geometry.h"

namespace win32 {
namespace {

constexpr int kTextHeight = 20;
constexpr int kBarLeft = 10, kBarTop = 35, kBarWidth = 280, kBarHeight = 20;

void registerClassOnce(HINSTANCE instance) {
  WNDCLASSEXA found{};
  found.cbSize = sizeof found;
  if (GetClassInfoExA(instance, CStatusWindow::kClassName, &found)) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = forwardingWindowProc<CStatusWindow>;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  wc.lpszClassName = CStatusWindow::kClassName;
  RegisterClassExA(&wc);
}

}  // namespace

CStatusWindow::CStatusWindow(const app::Rect& over, HINSTANCE instance) {
  registerClassOnce(instance);
  const app::Rect at = shell::statusWindowRect(over);
  window_ = CreateWindowExA(WS_EX_TOPMOST, kClassName, kClassName, kStyle, at.left, at.top, at.width(), at.height(),
                            nullptr, nullptr, instance, this);
  ShowWindow(window_, SW_SHOW);
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  // A Unicode control, so that a text the ANSI code page cannot spell (a file
  // name) keeps its characters; ANSI text reaching it is converted on the way.
  text_ = CreateWindowExW(0, L"STATIC", L" ", kChildStyle, 0, 0, shell::kStatusWindowWidth, kTextHeight, window_,
                          nullptr, instance, nullptr);
  bar_ = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, kChildStyle, kBarLeft, kBarTop, kBarWidth, kBarHeight, window_,
                         nullptr, instance, nullptr);
  SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  repaintNow();
}

CStatusWindow::~CStatusWindow() {
  for (HWND* w : {&text_, &bar_, &window_}) {
    if (*w) DestroyWindow(*w);
    *w = nullptr;
  }
}

void CStatusWindow::setStatusText(const std::string& text) {
  SendMessageA(text_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  repaintNow();
}

void CStatusWindow::setStatusTextUtf8(const std::string& text) {
  const std::u16string wide = platform::utf8ToUtf16(text);
  SendMessageW(text_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  repaintNow();
}

void CStatusWindow::setProgress(int percent) {
  SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  repaintNow();
}

void CStatusWindow::repaintNow() {
  // The caller's thread is busy until the window goes (a service exchange or an
  // upload), so no message loop would paint it: paint the window and its two
  // controls now, after every change.
  RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

LRESULT CStatusWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace win32
