#pragma once
// The program's one main window and its start-up: the application state, the
// window with its menu, the album list, the network start, the message loop,
// and the routing of every message of the window to the application shell.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "app/app_state.h"
#include "shell/win32/win32_desktop.h"
#include "shell/win32/win32_handles.h"

namespace win32 {

class MainWindow {
 public:
  static constexpr DWORD kExStyle = WS_EX_CLIENTEDGE | WS_EX_TOPMOST;  // 0x208

  // Loads the menu and builds the application state around `desktop` (a fresh
  // Win32Desktop of `instance` when null); the state centres the window's
  // rectangle on the desktop, creates the data folder and empties the cache.
  explicit MainWindow(HINSTANCE instance, std::shared_ptr<Win32Desktop> desktop = nullptr);
  // Destroys the window if it still exists.
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the class, creates, shows and paints the window, and lays the
  // album list over its client area.
  void create();
  // The network start, the version check and the saved sign-in; false when the
  // network could not start (the program is then ending with code 1).
  bool start();
  // Runs until the quit message and answers its code.
  int runMessageLoop();

  LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd() const { return hwnd_; }
  app::AppState& state() { return state_; }
  Win32Desktop& desktop() { return *desktop_; }
  // The notification icon's menu, last built by a right click (or null).
  HMENU trayMenu() const { return trayMenu_.get(); }

 private:
  LRESULT onTrayMessage(UINT mouseMessage);
  void showTrayMenu();
  void uploadDrop(HDROP drop);

  const HINSTANCE instance_;
  const std::shared_ptr<Win32Desktop> desktop_;
  app::AppState state_;
  HWND hwnd_ = nullptr;
  MenuHandle trayMenu_;
  bool uploading_ = false;
};

}  // namespace win32
