#pragma once
// What the GUI tests share: a message pump, a driver that answers the dialogs
// the code under test opens, the real desktop with what a test wants to see
// recorded, screen captures, and the real main window in a fresh folder.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/service_endpoint.h"
#include "platform/charset.h"
#include "shell/win32/dialogs.h"
#include "shell/win32/main_window.h"
#include "shell/win32/status_window.h"
#include "support/temp_dir.h"

namespace guitest {

// Dispatches this thread's messages for `ms`; answers the codes of the quit
// messages met on the way.
inline std::vector<int> pumpMessages(DWORD ms = 20) {
  std::vector<int> quits;
  for (const DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quits.push_back(static_cast<int>(message.wParam));
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (GetTickCount() - start >= ms) return quits;
  }
}

inline app::Rect rectOf(HWND window) {  // on the screen
  RECT r{};
  GetWindowRect(window, &r);
  return app::Rect{r.left, r.top, r.right, r.bottom};
}

inline std::string itemText(HWND dialog, int id) { return win32::windowText(GetDlgItem(dialog, id)); }

// A window's text as the window holds it, in UTF-8.
inline std::string wideText(HWND window) {
  std::u16string text(size_t(GetWindowTextLengthW(window)) + 1, u'\0');
  text.resize(size_t(GetWindowTextW(window, reinterpret_cast<wchar_t*>(&text[0]), int(text.size()))));
  return platform::utf16ToUtf8(text);
}

// Presses a dialog button (posted: it takes effect once the caller returns).
inline void pressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Answers this thread's dialogs while it lives, from a timer that the modal
// loops dispatch: a new dialog goes to the handler for its caption; one without
// a handler fails the test and is ended, as is one still open after 15 s, so no
// test can hang on a modal loop. Popup menus are closed and counted.
class ModalDriver {
 public:
  ModalDriver() : timer_(SetTimer(nullptr, 0, kTickMs, onTimer)) { active_ = this; }
  ~ModalDriver() {
    KillTimer(nullptr, timer_);
    active_ = nullptr;
  }
  void on(const std::string& caption, std::function<void(HWND)> handler) { handlers_[caption] = std::move(handler); }
  // Records the texts of boxes with this caption and presses `button` on them.
  void answer(const std::string& caption, int button) {
    on(caption, [this, button](HWND box) {
      boxes.push_back(itemText(box, 0xFFFF));  // the text control that every message box has
      pressButton(box, button);
    });
  }

  std::vector<std::string> boxes;
  int menusClosed = 0;

 private:
  static constexpr int kTickMs = 30, kTimeLimitMs = 15000;
  static inline ModalDriver* active_ = nullptr;
  static BOOL CALLBACK collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  }
  static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (active_) active_->tick();
  }
  void tick() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&windows));
    std::map<HWND, int> open;
    for (HWND w : windows) {
      char cls[16] = {};
      GetClassNameA(w, cls, sizeof cls);
      const std::string caption = win32::windowText(w);
      if (!IsWindowVisible(w)) continue;
      if (std::strcmp(cls, "#32768") == 0) {  // a popup menu
        EndMenu();
        ++menusClosed;
        continue;
      }
      if (std::strcmp(cls, "#32770") != 0) continue;
      const int ticks = open[w] = ticksOpen_[w] + 1;
      const auto handler = handlers_.find(caption);
      if (ticks == 1 && handler != handlers_.end()) {
        handler->second(w);
      } else if (ticks == 1 || ticks * kTickMs > kTimeLimitMs) {
        ADD_FAILURE() << "dialog \"" << caption << "\" " << (ticks == 1 ? "unexpected: " : "still open: ")
                      << itemText(w, 0xFFFF);
        EndDialog(w, IDCANCEL);
      }
    }
    ticksOpen_.swap(open);
  }

  UINT_PTR timer_;
  std::map<std::string, std::function<void(HWND)>> handlers_;
  std::map<HWND, int> ticksOpen_;
};

// The local service stand-in named by FLINGPOST_TEST_SERVICE ("127.0.0.1:PORT").
inline std::optional<app::ServiceEndpoint> testService() {
  const char* value = getenv("FLINGPOST_TEST_SERVICE");
  app::ServiceEndpoint endpoint;
  if (!value || std::strncmp(value, "127.0.0.1:", 10) != 0 || !app::parseServiceEndpoint(value, &endpoint)) {
    return std::nullopt;
  }
  return endpoint;
}

// Pixels as 0x00RRGGBB, rows top to bottom.
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }

  BITMAPINFOHEADER header() const {  // 32 bits a pixel, rows top to bottom
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = -height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    return h;
  }
};

// The whole window, frame included, as the screen shows it now.
inline Image captureWindow(HWND window) {
  // Wine hands what a window painted to the X server when its thread next waits
  // for messages; a test that captures right after painting, on a busy thread,
  // waits for none without this. It takes no message out of the queue.
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
  const app::Rect rect = rectOf(window);
  Image image;
  image.width = rect.width();
  image.height = rect.height();
  BITMAPINFO info{};
  info.bmiHeader = image.header();
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  const auto* words = static_cast<const uint32_t*>(bits);
  if (words) image.pixels.assign(words, words + size_t(image.width) * image.height);
  for (uint32_t& p : image.pixels) p &= 0x00FFFFFF;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

// The bytes of a 32-bit BMP file.
inline std::string bitmapFile(const Image& image) {
  const BITMAPINFOHEADER info = image.header();
  const DWORD pixelBytes = DWORD(image.pixels.size() * 4);
  const DWORD headers = DWORD(sizeof(BITMAPFILEHEADER) + sizeof info);
  const BITMAPFILEHEADER file{0x4D42, headers + pixelBytes, 0, 0, headers};
  return std::string(reinterpret_cast<const char*>(&file), sizeof file) +
         std::string(reinterpret_cast<const char*>(&info), sizeof info) +
         std::string(reinterpret_cast<const char*>(image.pixels.data()), pixelBytes);
}

// A UTF-8 path may name what the ANSI code page cannot spell.
inline bool writeFile(const std::string& utf8Path, const std::string& bytes) {
  std::ofstream out(std::filesystem::u8path(utf8Path), std::ios::binary);
  return (out << bytes).good();
}

// Writes NAME.bmp into the folder named by FLINGPOST_SCREENSHOTS, when set.
inline void saveScreenshot(const std::string& name, const Image& image) {
  const char* folder = getenv("FLINGPOST_SCREENSHOTS");
  if (!folder || !*folder) return;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!image.pixels.empty()) writeFile((std::filesystem::path(folder) / (name + ".bmp")).string(), bitmapFile(image));
}

// The real desktop, recording each progress step as the window's own controls
// then show it (with a screenshot while a file uploads), the tray calls, and
// the browser addresses, which it does not open.
class RecordingDesktop : public win32::Win32Desktop {
 public:
  using Win32Desktop::Win32Desktop;
  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override {
    if (failProgress) throw std::bad_alloc();
    return std::make_unique<Watched>(over, *this);
  }
  void openInBrowser(const std::string& address) override { opened.push_back(address); }
  void minimiseToTray() override { ++minimised, Win32Desktop::minimiseToTray(); }
  void restoreFromTray() override { ++restored, Win32Desktop::restoreFromTray(); }
  void removeTrayIcon() override { ++iconsRemoved, Win32Desktop::removeTrayIcon(); }

  std::vector<std::string> progress;                        // the texts, and the bar's positions in decimal
  std::vector<std::pair<HWND, app::Rect>> progressWindows;  // as each showed
  std::vector<std::string> opened;
  int minimised = 0, restored = 0, iconsRemoved = 0;
  bool failProgress = false;  // showProgress throws std::bad_alloc, as when memory runs out

 private:
  class Watched : public app::ProgressView {
   public:
    Watched(const app::Rect& over, RecordingDesktop& owner) : window_(over, owner.instance()), owner_(owner) {
      owner_.progressWindows.emplace_back(window_.window(), rectOf(window_.window()));
    }
    void setStatusText(const std::string& text) override {
      window_.setStatusText(text);
      owner_.progress.push_back(wideText(window_.textLine()));
    }
    void setStatusTextUtf8(const std::string& text) override {
      window_.setStatusTextUtf8(text);
      owner_.progress.push_back(wideText(window_.textLine()));
    }
    void setProgress(int percent) override {
      window_.setProgress(percent);
      owner_.progress.push_back(std::to_string(SendMessageA(window_.bar(), PBM_GETPOS, 0, 0)));
      if (owner_.progress.size() > 1 && owner_.progress.end()[-2].rfind("Uploading", 0) == 0) {
        saveScreenshot("progress-window", captureWindow(window_.window()));
      }
    }

   private:
    win32::CStatusWindow window_;
    RecordingDesktop& owner_;
  };
};

// A drop handle as the shell makes it: DROPFILES with wide paths, given in UTF-8.
inline HDROP makeDrop(const std::vector<std::string>& utf8Paths, POINT at) {
  std::u16string names;
  for (const std::string& p : utf8Paths) names += platform::utf8ToUtf16(p) + u'\0';
  names += u'\0';  // the list ends with an empty name
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * 2);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->pt = at;
  drop->fWide = TRUE;
  std::memcpy(drop + 1, names.data(), names.size() * 2);
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// The main window in a fresh working folder, created but not started. Service
// requests go to the stand-in when there is one, else to a closed loopback port.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMessages(0);  // what earlier tests left behind
    openWindow();
  }
  void TearDown() override {
    window.reset();
    pumpMessages();
  }
  // A new desktop and main window, as at the program's start.
  void openWindow() {
    window.reset();
    desktop = std::make_shared<RecordingDesktop>(GetModuleHandleA(nullptr));
    window = std::make_unique<win32::MainWindow>(GetModuleHandleA(nullptr), desktop);
    if (const auto service = testService()) {
      state().service = *service;
    } else {
      app::parseServiceEndpoint("127.0.0.1:1", &state().service);
    }
    window->create();
    pumpMessages(50);
  }

  HWND hwnd() const { return window->hwnd(); }
  HWND list() const { return desktop->albumListBox().handle(); }
  app::AppState& state() { return window->state(); }
  // Sends a command and pumps; the quit codes met go to quitCodes.
  LRESULT command(int id) {
    const LRESULT answer = SendMessageA(hwnd(), WM_COMMAND, WPARAM(id), 0);
    for (int code : pumpMessages()) quitCodes.push_back(code);
    return answer;
  }
  bool checked(int id) const { return GetMenuState(desktop->menu(), UINT(id), MF_BYCOMMAND) & MF_CHECKED; }
  // Drops files on the list as the shell does, `at` relative to the list.
  void drop(const std::vector<std::string>& paths, POINT at) {
    SendMessageA(list(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(paths, at)), 0);
    pumpMessages();
  }
  void addDemoAlbums() {
    auto& list = desktop->albumListBox();
    list.addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
    list.addAlbum("11", std::make_unique<app::Album>(11, "Holiday", "Summer by the sea"));
    list.addAlbum("12", std::make_unique<app::Album>(12, "Cats & Dogs", "Pets <of> friends & family"));
    list.addAlbum("13", std::make_unique<app::Album>(13, "Work", ""));
  }

  testsupport::TempDir dir{true};
  std::shared_ptr<RecordingDesktop> desktop;
  std::unique_ptr<win32::MainWindow> window;
  std::vector<int> quitCodes;
};

}  // namespace guitest
