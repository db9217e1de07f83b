#pragma once
// One window procedure per C++ window class: the object that owns a window comes
// in as its creation parameter, is kept in the window's user data from
// WM_NCCREATE on, and receives every later message through its handleMessage.
// Messages that arrive before WM_NCCREATE, or after WM_NCDESTROY, go to
// DefWindowProcA.
//
// No exception may unwind through the system's frames that called a window or
// dialog procedure: one thrown by a handler is caught at this edge, written to
// the debugger's output, and the message is answered as DefWindowProcA answers it.
#include <windows.h>

#include <exception>
#include <string>

namespace win32 {

// The barrier's report of a handler that threw.
inline void reportHandlerException(UINT message, const char* what) {
  char head[64];
  wsprintfA(head, "Flingpost: message 0x%04X ended with an exception: ", message);
  OutputDebugStringA((std::string(head) + what + "\n").c_str());
}

template <class Owner>
LRESULT CALLBACK forwardingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!owner) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  try {
    result = owner->handleMessage(window, message, wParam, lParam);
  } catch (const std::exception& e) {
    reportHandlerException(message, e.what());
    result = DefWindowProcA(window, message, wParam, lParam);
  } catch (...) {
    reportHandlerException(message, "unknown exception");
    result = DefWindowProcA(window, message, wParam, lParam);
  }
  // The owner may be destroyed right after its window; nothing may reach it then.
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return result;
}

// The same barrier for a dialog procedure: an exception leaves the message to
// the dialog manager (FALSE), as an unhandled message is.
template <INT_PTR (*Procedure)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK guardedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return Procedure(dialog, message, wParam, lParam);
  } catch (const std::exception& e) {
    reportHandlerException(message, e.what());
  } catch (...) {
    reportHandlerException(message, "unknown exception");
  }
  return FALSE;
}

}  // namespace win32
