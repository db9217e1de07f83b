#pragma once
// One window procedure per C++ window class: the object that owns a window comes
// in as its creation parameter, is kept in the window's user data from
// WM_NCCREATE on, and receives every later message through its handleMessage.
// Messages that arrive before WM_NCCREATE, or after WM_NCDESTROY, go to
// DefWindowProcA.
#include <windows.h>

namespace win32 {

template <class Owner>
LRESULT CALLBACK forwardingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!owner) return DefWindowProcA(window, message, wParam, lParam);
  const LRESULT result = owner->handleMessage(window, message, wParam, lParam);
  // The owner may be destroyed right after its window; nothing may reach it then.
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return result;
}

}  // namespace win32
