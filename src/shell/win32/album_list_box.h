#pragma once
// The album list that fills the main window: a standard list box with
// owner-drawn 50-pixel bands, each showing an album's name over its
// description in alternating light blue and light yellow. Each item's text is
// the album id in decimal and its item data the Album, which this object owns.
// It is the program's drop target: dropped files reach the main window as
// WM_DROPFILES (the list box passes them to its parent).
#include <windows.h>

#include <memory>
#include <vector>

#include "app/desktop.h"

namespace win32 {

class AlbumListBox final : public app::AlbumListView {
 public:
  static constexpr int kControlId = 107;
  static constexpr DWORD kStyle = 0x50200051;  // child, visible, v-scroll, strings, owner-drawn fixed, notify
  static constexpr UINT kItemHeight = 50;
  static constexpr COLORREF kEvenBand = 0x00FFE6CC;  // light blue
  static constexpr COLORREF kOddBand = 0x00CCFFFF;   // light yellow
  static constexpr COLORREF kTextColour = 0x00141414;

  AlbumListBox() = default;
  ~AlbumListBox() override;
  AlbumListBox(const AlbumListBox&) = delete;
  AlbumListBox& operator=(const AlbumListBox&) = delete;

  // Creates the control over `area` of `parent`'s client area and makes it
  // accept dropped files. Until then the list is empty and takes no items.
  void create(const RECT& area, HWND parent, HINSTANCE instance);
  HWND handle() const { return list_; }

  // The parent's WM_MEASUREITEM and WM_DRAWITEM; both answer TRUE.
  LRESULT measureItem(WPARAM controlId, MEASUREITEMSTRUCT* measure);
  LRESULT drawItem(WPARAM controlId, const DRAWITEMSTRUCT* draw);

  static COLORREF bandColour(int index) { return index % 2 == 0 ? kEvenBand : kOddBand; }

  // app::AlbumListView
  void clear() override;
  void addAlbum(const std::string& text, std::unique_ptr<app::Album> album) override;
  int count() const override;
  std::string itemText(int index) const override;
  const app::Album* album(int index) const override;
  app::Rect screenRect() const override;
  int selectedIndex() const override;

 private:
  HINSTANCE instance_ = nullptr;
  HWND parent_ = nullptr;
  HWND list_ = nullptr;
  int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  // The albums hung on the items. Kept here as well as in the item data so that
  // they are released even when the control is destroyed before this object.
  std::vector<std::unique_ptr<app::Album>> albums_;
};

}  // namespace win32
