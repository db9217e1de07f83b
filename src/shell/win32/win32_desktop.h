#pragma once
// The desktop of the Windows program: message boxes owned by the main window,
// the progress window, the album list box, the menu's check marks, the modal
// dialogs, the browser, the notification area and the end of the message loop.
#include <windows.h>

#include <atomic>

#include "app/desktop.h"
#include "shell/win32/album_list_box.h"

namespace win32 {

class Win32Desktop : public app::Desktop {
 public:
  // Loads the main menu (resource 101) of `instance`'s module.
  explicit Win32Desktop(HINSTANCE instance);
  ~Win32Desktop() override;
  Win32Desktop(const Win32Desktop&) = delete;
  Win32Desktop& operator=(const Win32Desktop&) = delete;

  // The main window, once it exists; until then boxes have no owner.
  void attachWindow(HWND window) { window_ = window; }
  HWND window() const { return window_; }
  HINSTANCE instance() const { return instance_; }
  HMENU menu() const { return menu_; }
  AlbumListBox& albumListBox() { return list_; }

  // Callable from any thread (the version check shows its news from its own).
  app::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                app::MessageButtons buttons) override;
  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override;
  app::AlbumListView& albumList() override { return list_; }
  app::Rect desktopRect() const override;
  app::Rect mainWindowRect() const override;
  void setMenuCheck(int commandId, bool checked) override;
  bool runSignInDialog(app::LoginInfo& login) override;
  void showLinkCodeViewer(app::CodeKind kind, const std::string& text) override;
  void openInBrowser(const std::string& address) override;
  void endProgram(int exitCode) override;
  void minimiseToTray() override;
  void restoreFromTray() override;
  void removeTrayIcon() override;

 private:
  const HINSTANCE instance_;
  const HMENU menu_;
  // Written once on the main thread before the version check starts; read by
  // that thread too.
  std::atomic<HWND> window_{nullptr};
  AlbumListBox list_;
};

}  // namespace win32
