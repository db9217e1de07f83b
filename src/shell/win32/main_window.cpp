#include "shell/win32/main_window.h"

#include <shellapi.h>

#include "shell/commands.h"
#include "shell/win32/dropped_files.h"
#include "shell/win32/resources/resource.h"
#include "shell/win32/running_window.h"
#include "shell/win32/tray.h"
#include "shell/win32/window_proc.h"
#include "upload/upload_batch.h"

namespace win32 {
namespace {

// The resource script and the command table must agree on every id.
static_assert(ID_FILE_LOGIN == shell::kCommandLogin && ID_FILE_EXIT == shell::kCommandExit &&
                  ID_OPTIONS_DISABLE_PROMPT == shell::kCommandDisablePrompt &&
                  ID_THUMB_100 == shell::kCommandThumb100 && ID_THUMB_200 == shell::kCommandThumb200 &&
                  ID_THUMB_300 == shell::kCommandThumb300 && ID_THUMB_400 == shell::kCommandThumb400 &&
                  ID_LINKCODES_VIEW_HTML == shell::kCommandViewHtml &&
                  ID_LINKCODES_VIEW_BBCODE == shell::kCommandViewBbcode &&
                  ID_LINKCODES_CLEAR == shell::kCommandClearCache && ID_HELP_ABOUT == shell::kCommandAbout,
              "menu ids of the resources and of the command table differ");
static_assert(AlbumListBox::kControlId == shell::kCommandAlbumList, "album list id");

constexpr char kTrayExitText[] = "Exit";

HICON loadIcon(HINSTANCE instance, int size) {
  // Shared: the system frees it with the module, so the class's icons never leak.
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_FLINGPOST), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, std::shared_ptr<Win32Desktop> desktop)
    : instance_(instance),
      desktop_(desktop ? std::move(desktop) : std::make_shared<Win32Desktop>(instance)),
      state_(desktop_, app::kInitialPlacement) {}

MainWindow::~MainWindow() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void MainWindow::create() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = forwardingWindowProc<MainWindow>;
  wc.hInstance = instance_;
  wc.hIcon = loadIcon(instance_, GetSystemMetrics(SM_CXICON));
  wc.hIconSm = loadIcon(instance_, GetSystemMetrics(SM_CXSMICON));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  wc.lpszClassName = state_.className;
  // Not checked: a failure shows as a window that is not there, and a second
  // window of the same process finds the class registered already.
  RegisterClassExA(&wc);

  const app::Rect& at = state_.placement;
  CreateWindowExA(kExStyle, state_.className, state_.title, state_.windowStyle, at.left, at.top, at.width(),
                  at.height(), nullptr, desktop_->menu(), instance_, this);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);

  RECT client{};
  GetClientRect(hwnd_, &client);
  desktop_->albumListBox().create(client, hwnd_, instance_);
}

bool MainWindow::start() { return shell::startProgram(state_); }

int MainWindow::runMessageLoop() {
  MSG message{};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT MainWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      // The handle is known from here on, before CreateWindowExA returns.
      hwnd_ = window;
      desktop_->attachWindow(window);
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(shell::kExitFromMenu);
      return 0;
    case WM_DRAWITEM:
      return desktop_->albumListBox().drawItem(wParam, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_MEASUREITEM:
      return desktop_->albumListBox().measureItem(wParam, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    case WM_COMMAND:
      return shell::runCommand(state_, LOWORD(wParam), HIWORD(wParam));
    case WM_SYSCOMMAND:
      // The low four bits of the command are the system's own.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        shell::onCloseRequest(state_);  // hides to the notification area; never closes
      } else {
        DefWindowProcA(window, message, wParam, lParam);
      }
      return 0;
    case WM_DROPFILES:
      uploadDrop(reinterpret_cast<HDROP>(wParam));
      return 0;
    case kTrayCallbackMessage:
      return onTrayMessage(static_cast<UINT>(lParam));
    case kComeForwardMessage:
      shell::onSecondStart(state_);
      if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
      SetForegroundWindow(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT MainWindow::onTrayMessage(UINT mouseMessage) {
  switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
      shell::onTrayDoubleClick(state_);
      return 1;
    case WM_LBUTTONUP:
      shell::onTrayButtonUp(state_);
      return 1;
    case WM_RBUTTONDOWN:
      showTrayMenu();
      return 0;
    default:
      return 0;
  }
}

void MainWindow::showTrayMenu() {
  POINT at{};
  GetCursorPos(&at);
  trayMenu_.reset(CreatePopupMenu());
  InsertMenuA(trayMenu_.get(), 0, MF_BYPOSITION | MF_STRING, shell::kCommandTrayExit, kTrayExitText);
  SetForegroundWindow(hwnd_);
  TrackPopupMenu(trayMenu_.get(), TPM_BOTTOMALIGN, at.x, at.y, 0, hwnd_, nullptr);
  // A menu tracked for a notification icon does not close when the user clicks
  // elsewhere until its window gets another message (Windows' documented quirk).
  PostMessageA(hwnd_, WM_NULL, 0, 0);
}

void MainWindow::uploadDrop(HDROP drop) {
  HdropFiles files(drop, desktop_->albumListBox().handle());
  // A batch's message boxes run a message loop of their own; a drop arriving
  // then is released, not nested inside the running batch.
  if (uploading_) return;
  // Reset on every way out, an exception included, or every later drop would
  // be refused.
  struct Busy {
    bool& flag;
    explicit Busy(bool& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
  } busy(uploading_);
  upload::uploadDroppedFiles(state_, files);
}

}  // namespace win32
