#include "shell/win32/gui_support.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "shell/win32/dialogs.h"
#include "shell/win32/png_writer.h"
#include "shell/win32/status_window.h"

namespace guitest {
namespace {

constexpr UINT kTickMs = 30;
constexpr DWORD kDialogTimeLimitMs = 15000;

ModalDriver* activeDriver = nullptr;

// Under Wine in Xvfb there is no window manager. Wine would then wait up to two
// seconds for one whenever a window is hidden or destroyed, and leave window
// frames undrawn (as the screenshots would show). Asked not to rely on one, for
// this program alone, it draws the frames itself and waits for nothing. Wine
// reads the setting only when the process starts, so the first run in a fresh
// Wine folder writes it and runs the tests again in a new process. On Windows
// nothing happens.
const struct WineWithoutWindowManager {
  WineWithoutWindowManager() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = std::strrchr(path, '\\') ? std::strrchr(path, '\\') + 1 : path;
    const std::string key = std::string("Software\\Wine\\AppDefaults\\") + name + "\\X11 Driver";
    char managed[4] = {};
    DWORD size = sizeof managed;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Managed", RRF_RT_REG_SZ, nullptr, managed, &size) ==
            ERROR_SUCCESS &&
        std::strcmp(managed, "N") == 0) {
      return;
    }
    for (const char* value : {"Managed", "Decorated"}) {
      RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), value, REG_SZ, "N", 2);
    }
    std::string commandLine = GetCommandLineA();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      return;  // the tests run here, only slower
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    ExitProcess(code);
  }
} wineWithoutWindowManager;

std::string classOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM out) {
  if (_stricmp(classOf(child).c_str(), "Static") == 0) *reinterpret_cast<std::string*>(out) += win32::windowText(child);
  return TRUE;
}

// A message box's way out when nobody said which button to press.
int defaultButton(HWND dialog) {
  for (int id : {IDOK, IDNO, IDCANCEL}) {
    if (GetDlgItem(dialog, id)) return id;
  }
  return IDCANCEL;
}

// Follows a progress window for the test: every step is recorded, and the
// first bar move of an upload can be captured as a screenshot.
class WatchedProgress : public app::ProgressView {
 public:
  WatchedProgress(const app::Rect& over, HINSTANCE instance, RecordingDesktop& owner)
      : window_(over, instance), owner_(owner) {
    RECT r{};
    GetWindowRect(window_.window(), &r);
    owner_.progressWindows.push_back(r);
    owner_.progressHandles.push_back(window_.window());
  }
  void setStatusText(const std::string& text) override {
    window_.setStatusText(text);
    owner_.progress.push_back(ProgressStep{text, -1});
    uploading_ = text.rfind("Uploading file: ", 0) == 0;
  }
  void setProgress(int percent) override {
    window_.setProgress(percent);
    owner_.progress.push_back(ProgressStep{"", percent});
    if (uploading_ && !owner_.progressScreenshot.empty()) {
      saveScreenshot(owner_.progressScreenshot, captureWindow(window_.window()));
      owner_.progressScreenshot.clear();
    }
  }

 private:
  win32::CStatusWindow window_;
  RecordingDesktop& owner_;
  bool uploading_ = false;
};

}  // namespace

std::vector<int> pumpMessages(DWORD ms) {
  std::vector<int> quits;
  const DWORD start = GetTickCount();
  for (;;) {
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
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string staticTexts(HWND dialog) {
  std::string text;
  EnumChildWindows(dialog, collectStaticText, reinterpret_cast<LPARAM>(&text));
  return text;
}

void pressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

ModalDriver::ModalDriver() {
  activeDriver = this;
  timer_ = SetTimer(nullptr, 0, kTickMs, onTimer);
}

ModalDriver::~ModalDriver() {
  KillTimer(nullptr, timer_);
  activeDriver = nullptr;
}

void ModalDriver::answer(const std::string& caption, int button) {
  on(caption, [this, caption, button](HWND dialog, int) {
    boxes.push_back(SeenBox{caption, staticTexts(dialog)});
    pressButton(dialog, button);
    return true;
  });
}

void CALLBACK ModalDriver::onTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (activeDriver) activeDriver->tick();
}

void ModalDriver::tick() {
  if (busy_) return;  // a handler's own modal loop dispatched this tick
  busy_ = true;
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), collectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND w : windows) {
    if (!IsWindowVisible(w)) continue;
    const std::string cls = classOf(w);
    if (cls == "#32768") {  // a popup menu
      EndMenu();
      ++menusClosed_;
      continue;
    }
    if (cls != "#32770") continue;
    auto& seen = open_[w];
    if (seen.second == 0) seen.first = GetTickCount();
    ++seen.second;
    const std::string caption = win32::windowText(w);
    if (GetTickCount() - seen.first > kDialogTimeLimitMs) {
      ADD_FAILURE() << "dialog \"" << caption << "\" still open after " << kDialogTimeLimitMs << " ms";
      EndDialog(w, IDCANCEL);
      seen.first = GetTickCount();
      continue;
    }
    if (done_.count(w)) continue;
    auto handler = handlers_.find(caption);
    if (handler != handlers_.end()) {
      if (handler->second(w, seen.second)) done_.insert(w);
    } else {
      unexpected.push_back(SeenBox{caption, staticTexts(w)});
      pressButton(w, defaultButton(w));
      done_.insert(w);
    }
  }
  for (auto it = open_.begin(); it != open_.end();) {
    if (IsWindow(it->first) && IsWindowVisible(it->first)) {
      ++it;
    } else {
      done_.erase(it->first);
      it = open_.erase(it);
    }
  }
  busy_ = false;
}

std::optional<app::ServiceEndpoint> testService() {
  const char* value = getenv("FLINGPOST_TEST_SERVICE");
  if (!value || std::strncmp(value, "127.0.0.1:", 10) != 0) return std::nullopt;
  app::ServiceEndpoint endpoint;
  if (!app::parseServiceEndpoint(value, &endpoint)) return std::nullopt;
  return endpoint;
}

std::unique_ptr<app::ProgressView> RecordingDesktop::showProgress(const app::Rect& over) {
  if (failProgress) throw std::bad_alloc();
  return std::make_unique<WatchedProgress>(over, instance(), *this);
}

void RecordingDesktop::minimiseToTray() {
  ++minimised;
  Win32Desktop::minimiseToTray();
}

void RecordingDesktop::restoreFromTray() {
  ++restored;
  Win32Desktop::restoreFromTray();
}

void RecordingDesktop::removeTrayIcon() {
  ++iconsRemoved;
  Win32Desktop::removeTrayIcon();
}

HDROP makeDrop(const std::vector<std::string>& paths, POINT at) {
  size_t bytes = sizeof(DROPFILES) + 1;  // the list ends with an empty name
  for (const std::string& p : paths) bytes += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->pt = at;
  drop->fNC = FALSE;
  drop->fWide = FALSE;
  char* name = reinterpret_cast<char*>(drop + 1);
  for (const std::string& p : paths) {
    std::memcpy(name, p.c_str(), p.size() + 1);
    name += p.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

bool writeSamplePicture(const std::string& path, int size) {
  Image image;
  image.width = image.height = size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      image.pixels.push_back(static_cast<uint32_t>((x * 255 / size) << 16 | (y * 255 / size) << 8 | 0x80));
    }
  }
  return writePng(path, image);
}

void MainWindowTest::SetUp() {
  pumpMessages(0);  // what earlier tests left behind
  desktop = std::make_shared<RecordingDesktop>(GetModuleHandleA(nullptr));
  window = std::make_unique<win32::MainWindow>(GetModuleHandleA(nullptr), desktop);
  // Service requests go to the local stand-in when there is one, and otherwise
  // to a closed loopback port: never anywhere else.
  if (const auto service = testService()) {
    state().service = *service;
  } else {
    app::parseServiceEndpoint("127.0.0.1:1", &state().service);
  }
  window->create();
  pumpMessages(50);
}

void MainWindowTest::TearDown() {
  window.reset();
  pumpMessages(20);
}

LRESULT MainWindowTest::command(int id, int notification) {
  const LRESULT answer = SendMessageA(hwnd(), WM_COMMAND, MAKEWPARAM(id, notification), 0);
  const std::vector<int> quits = pumpMessages(20);
  quitCodes.insert(quitCodes.end(), quits.begin(), quits.end());
  return answer;
}

bool MainWindowTest::checked(int id) const {
  return (GetMenuState(desktop->menu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void MainWindowTest::addDemoAlbums() {
  auto& list = desktop->albumListBox();
  list.addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
  list.addAlbum("11", std::make_unique<app::Album>(11, "Holiday", "Summer by the sea"));
  list.addAlbum("12", std::make_unique<app::Album>(12, "Cats & Dogs", "Pets <of> friends & family"));
  list.addAlbum("13", std::make_unique<app::Album>(13, "Work", ""));
}

}  // namespace guitest
