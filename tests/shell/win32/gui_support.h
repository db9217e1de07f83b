#pragma once
// What the GUI tests share: a message pump with a time limit, a driver that
// answers the modal dialogs and message boxes the code under test opens (from a
// thread timer, which the modal loops dispatch), a desktop that records what the
// window code asks of it, and a fixture with the real main window in a fresh
// working folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/service_endpoint.h"
#include "shell/win32/main_window.h"
#include "shell/win32/win32_desktop.h"
#include "support/temp_dir.h"

namespace guitest {

// Dispatches this thread's messages for `ms` milliseconds; answers the codes of
// the quit messages met on the way, in order.
std::vector<int> pumpMessages(DWORD ms = 100);

// The texts of a dialog's static controls, joined: a message box's text.
std::string staticTexts(HWND dialog);
// Presses a dialog button (posted, so the caller is not inside the dialog's reply).
void pressButton(HWND dialog, int id);

struct SeenBox {
  std::string caption;
  std::string text;
};

// Answers this thread's dialogs while it lives. A handler, chosen by the
// dialog's caption, is called on every tick while its dialog is open and
// answers true once it has closed (or asked to close) it. A dialog without a
// handler is recorded as an unexpected box and answered with OK (else No, else
// Cancel). A dialog still open after 15 s is ended and the test failed, so no
// test can hang on a modal loop.
class ModalDriver {
 public:
  using Handler = std::function<bool(HWND dialog, int tick)>;

  ModalDriver();
  ~ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  void on(const std::string& caption, Handler handler) { handlers_[caption] = std::move(handler); }
  // Records boxes with this caption and presses `button` on them.
  void answer(const std::string& caption, int button);
  // Closes every popup menu that shows, counting them.
  int menusClosed() const { return menusClosed_; }

  std::vector<SeenBox> boxes;       // boxes answered through answer()
  std::vector<SeenBox> unexpected;  // dialogs nobody had a handler for

 private:
  static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);
  void tick();

  UINT_PTR timer_ = 0;
  bool busy_ = false;
  int menusClosed_ = 0;
  std::map<std::string, Handler> handlers_;
  std::map<HWND, std::pair<DWORD, int>> open_;  // first seen, ticks
  std::set<HWND> done_;
};

// The environment's local service stand-in ("127.0.0.1:PORT" in
// FLINGPOST_TEST_SERVICE); nothing when unset or not on the loopback address.
std::optional<app::ServiceEndpoint> testService();

struct ProgressStep {
  std::string text;  // a text change, or "" for a bar change
  int bar = -1;      // a bar change, or -1
};

// The real desktop, with the calls a test wants to see recorded: progress
// steps, tray calls and browser addresses (which are not opened).
class RecordingDesktop : public win32::Win32Desktop {
 public:
  using Win32Desktop::Win32Desktop;

  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override;
  void openInBrowser(const std::string& address) override { opened.push_back(address); }
  void minimiseToTray() override;
  void restoreFromTray() override;
  void removeTrayIcon() override;

  std::vector<ProgressStep> progress;
  std::vector<RECT> progressWindows;  // where each progress window showed
  std::vector<HWND> progressHandles;
  std::vector<std::string> opened;
  int minimised = 0, restored = 0, iconsRemoved = 0;
  // Makes showProgress throw std::bad_alloc, as it would when memory runs out.
  bool failProgress = false;
  // Set to take a screenshot of the first upload's progress window.
  std::string progressScreenshot;
};

// A files drop as the shell makes it: DROPFILES with ANSI paths, the point
// relative to the window it is dropped on.
HDROP makeDrop(const std::vector<std::string>& paths, POINT at);

// Writes a small PNG picture (a gradient `size` pixels square) to `path`.
bool writeSamplePicture(const std::string& path, int size);

// The main window in a fresh working folder, created but not started.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND hwnd() const { return window->hwnd(); }
  HWND list() const { return desktop->albumListBox().handle(); }
  app::AppState& state() { return window->state(); }
  LRESULT command(int id, int notification = 0);
  // Checked state of a menu item of the main menu.
  bool checked(int id) const;
  void addDemoAlbums();

  testsupport::TempDir dir{true};
  std::shared_ptr<RecordingDesktop> desktop;
  std::unique_ptr<win32::MainWindow> window;
  std::vector<int> quitCodes;  // quit messages met by the fixture's pumps
};

}  // namespace guitest
