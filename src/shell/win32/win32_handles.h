#pragma once
// Owners for the Windows handles the program creates, so that every path out of
// a function gives them back: GDI objects, selections into a device context,
// global memory, the clipboard and popup menus.
#include <windows.h>

#include <utility>

namespace win32 {

// A brush, pen, font or bitmap that this code created; deleted at the end.
template <class Handle>
class GdiObject {
 public:
  explicit GdiObject(Handle handle = nullptr) : handle_(handle) {}
  ~GdiObject() {
    if (handle_) DeleteObject(handle_);
  }
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle handle_;
};

// An object selected into a device context; the previous one goes back at the end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Global memory, freed at the end unless release() handed it to a new owner
// (the clipboard owns what SetClipboardData accepted).
class GlobalMemory {
 public:
  GlobalMemory(UINT flags, SIZE_T bytes) : handle_(GlobalAlloc(flags, bytes)) {}
  ~GlobalMemory() {
    if (handle_) GlobalFree(handle_);
  }
  GlobalMemory(const GlobalMemory&) = delete;
  GlobalMemory& operator=(const GlobalMemory&) = delete;

  HGLOBAL get() const { return handle_; }
  HGLOBAL release() { return std::exchange(handle_, nullptr); }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HGLOBAL handle_;
};

// Global memory locked for one scope; data() is null when the lock failed.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
  ~GlobalLockGuard() {
    if (data_) GlobalUnlock(memory_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

  void* data() const { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// The clipboard, opened for `owner` for one scope. Only one program can hold it
// at a time, so it is closed again on every path.
class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ~ClipboardSession() {
    if (open_) CloseClipboard();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;

  bool isOpen() const { return open_; }

 private:
  bool open_;
};

// A menu that belongs to no window (a window destroys its own menu bar).
class MenuHandle {
 public:
  explicit MenuHandle(HMENU menu = nullptr) : menu_(menu) {}
  ~MenuHandle() { reset(); }
  MenuHandle(const MenuHandle&) = delete;
  MenuHandle& operator=(const MenuHandle&) = delete;

  HMENU get() const { return menu_; }
  void reset(HMENU menu = nullptr) {
    if (menu_) DestroyMenu(menu_);
    menu_ = menu;
  }

 private:
  HMENU menu_;
};

}  // namespace win32
