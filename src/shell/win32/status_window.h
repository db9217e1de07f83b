#pragma once
// CStatusWindow: the small borderless, always-on-top window with one line of
// text over a bar from 0 to 100 that shows while the program signs in or
// uploads. It takes no input and lives as long as this object.
#include <windows.h>

#include <string>

#include "app/desktop.h"

namespace win32 {

class CStatusWindow final : public app::ProgressView {
 public:
  static constexpr const char* kClassName = "CStatusWindow";
  static constexpr DWORD kStyle = 0x80800000;  // WS_POPUP | WS_BORDER
  static constexpr DWORD kChildStyle = 0x50000001;  // child, visible; SS_CENTER / PBS_SMOOTH

  // Shows the window centred over `over` (screen coordinates) with a blank text
  // line and the bar at 0. Registers the window class on first use.
  CStatusWindow(const app::Rect& over, HINSTANCE instance);
  ~CStatusWindow() override;
  CStatusWindow(const CStatusWindow&) = delete;
  CStatusWindow& operator=(const CStatusWindow&) = delete;

  void setStatusText(const std::string& text) override;
  void setStatusTextUtf8(const std::string& text) override;
  void setProgress(int percent) override;

  LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window() const { return window_; }
  HWND textLine() const { return text_; }
  HWND bar() const { return bar_; }

 private:
  void repaintNow();

  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HWND bar_ = nullptr;
};

}  // namespace win32
