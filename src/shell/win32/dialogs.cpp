#include "shell/win32/dialogs.h"

#include <cstring>

#include "shell/win32/resources/resource.h"
#include "shell/win32/win32_handles.h"
#include "shell/win32/window_proc.h"

namespace win32 {
namespace {

std::string dialogItemText(HWND dialog, int id, int limit) {
  std::string text(static_cast<size_t>(limit) + 1, '\0');
  const UINT got = GetDlgItemTextA(dialog, id, &text[0], limit + 1);
  text.resize(got);
  return text;
}

INT_PTR signInDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
      SetFocus(GetDlgItem(dialog, IDC_USERNAME));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* login = reinterpret_cast<app::LoginInfo*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        login->username = dialogItemText(dialog, IDC_USERNAME, kSignInFieldLimit);
        login->password = dialogItemText(dialog, IDC_PASSWORD, kSignInFieldLimit);
        login->hashedPassword.clear();
        login->autoLogin = SendDlgItemMessageA(dialog, IDC_AUTO_LOGIN, BM_GETCHECK, 0, 0) == BST_CHECKED;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void copyFailed() { MessageBoxA(nullptr, "Copy to clipboard failed!", "ERROR", MB_OK); }

void copyCodes(HWND dialog) {
  HWND edit = GetDlgItem(dialog, IDC_CODES);
  // All of it: the codes of every upload of the run, however many there are.
  switch (copyToClipboard(dialog, windowText(edit))) {
    case ClipboardResult::kCopied:
      break;
    case ClipboardResult::kNotOpened:  // the text is still selected, as the viewer always did
      copyFailed();
      break;
    case ClipboardResult::kNotStored:
      copyFailed();
      return;
  }
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
}

INT_PTR linkCodeViewer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // An edit control takes about 32K characters unless told otherwise; the
      // codes of a long run of uploads are more.
      SendDlgItemMessageA(dialog, IDC_CODES, EM_SETLIMITTEXT, 0, 0);
      SetDlgItemTextA(dialog, IDC_CODES, reinterpret_cast<const char*>(lParam));
      SetFocus(GetDlgItem(dialog, IDC_COPY));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_COPY:
          copyCodes(dialog);
          return TRUE;
        case IDC_CLOSE:
        case IDCANCEL:  // Esc and the title bar's closing box close it too
          EndDialog(dialog, IDC_CLOSE);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

bool runSignInDialog(HINSTANCE instance, HWND owner, app::LoginInfo& login) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SIGN_IN), owner, guardedDialogProc<signInDialog>,
                         reinterpret_cast<LPARAM>(&login)) == IDOK;
}

void showLinkCodeViewer(HINSTANCE instance, HWND owner, app::CodeKind kind, const std::string& text) {
  // Each viewer's caption is its resource's own.
  const int dialog = kind == app::CodeKind::kBbcode ? IDD_BBCODES : IDD_HTML_CODES;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(dialog), owner, guardedDialogProc<linkCodeViewer>,
                  reinterpret_cast<LPARAM>(text.c_str()));
}

ClipboardResult copyToClipboard(HWND owner, const std::string& text) {
  ClipboardSession clipboard(owner);
  if (!clipboard.isOpen()) return ClipboardResult::kNotOpened;
  EmptyClipboard();
  GlobalMemory memory(GMEM_MOVEABLE, text.size() + 1);
  if (!memory) return ClipboardResult::kNotStored;
  {
    GlobalLockGuard lock(memory.get());
    if (!lock.data()) return ClipboardResult::kNotStored;
    std::memcpy(lock.data(), text.c_str(), text.size() + 1);
  }
  if (!SetClipboardData(CF_TEXT, memory.get())) return ClipboardResult::kNotStored;
  memory.release();  // the clipboard owns it now
  return ClipboardResult::kCopied;
}

std::string windowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, &text[0], length + 1);
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

}  // namespace win32
