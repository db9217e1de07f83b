#include "shell/win32/album_list_box.h"

#include <commctrl.h>
#include <shellapi.h>

#include "shell/win32/win32_handles.h"

namespace win32 {
namespace {

constexpr int kTextIndent = 10;
constexpr int kNameTop = 10;
constexpr int kDescriptionTop = 25;

// An item's data as the Album it carries; LB_ERR (no such item) gives none.
const app::Album* albumOf(LRESULT data) {
  return data == LB_ERR ? nullptr : reinterpret_cast<const app::Album*>(data);
}

}  // namespace

AlbumListBox::~AlbumListBox() {
  // Items must not point at albums that are about to go.
  if (list_ && IsWindow(list_)) SendMessageA(list_, LB_RESETCONTENT, 0, 0);
}

void AlbumListBox::create(const RECT& area, HWND parent, HINSTANCE instance) {
  instance_ = instance;
  parent_ = parent;
  x_ = area.left;
  y_ = area.top;
  width_ = area.right - area.left;
  height_ = area.bottom - area.top;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  list_ = CreateWindowExA(0, "LISTBOX", nullptr, kStyle, x_, y_, width_, height_, parent_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), instance_, nullptr);
  DragAcceptFiles(list_, TRUE);
}

LRESULT AlbumListBox::measureItem(WPARAM, MEASUREITEMSTRUCT* measure) {
  measure->itemHeight = kItemHeight;
  return TRUE;
}

LRESULT AlbumListBox::drawItem(WPARAM, const DRAWITEMSTRUCT* draw) {
  if (draw->itemID == static_cast<UINT>(-1)) return TRUE;  // an empty list
  const app::Album* shown = albumOf(SendMessageA(draw->hwndItem, LB_GETITEMDATA, draw->itemID, 0));
  if (!(draw->itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) return TRUE;

  const COLORREF colour = bandColour(static_cast<int>(draw->itemID));
  const RECT& r = draw->rcItem;
  {
    GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(draw->hDC, &r, brush.get());
    SelectedObject font(draw->hDC, GetStockObject(DEFAULT_GUI_FONT));
    SetBkColor(draw->hDC, colour);
    SetTextColor(draw->hDC, kTextColour);
    if (shown) {
      TextOutA(draw->hDC, r.left + kTextIndent, r.top + kNameTop, shown->name.c_str(),
               static_cast<int>(shown->name.size()));
      TextOutA(draw->hDC, r.left + kTextIndent, r.top + kDescriptionTop, shown->description.c_str(),
               static_cast<int>(shown->description.size()));
    }
  }
  // The band keeps its colour when selected; the focus rectangle marks it.
  if (draw->itemState & ODS_SELECTED) DrawFocusRect(draw->hDC, &r);
  return TRUE;
}

void AlbumListBox::clear() {
  if (list_) SendMessageA(list_, LB_RESETCONTENT, 0, 0);
  albums_.clear();
}

void AlbumListBox::addAlbum(const std::string& text, std::unique_ptr<app::Album> album) {
  if (!list_) return;  // no control yet: the album goes with this call
  const LRESULT index = SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) return;  // the control is out of space: the album is not listed
  SendMessageA(list_, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(album.get()));
  albums_.push_back(std::move(album));
}

int AlbumListBox::count() const {
  if (!list_) return 0;
  const LRESULT n = SendMessageA(list_, LB_GETCOUNT, 0, 0);
  return n < 0 ? 0 : static_cast<int>(n);
}

std::string AlbumListBox::itemText(int index) const {
  if (index < 0 || index >= count()) return std::string();
  const LRESULT length = SendMessageA(list_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(list_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

const app::Album* AlbumListBox::album(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return albumOf(SendMessageA(list_, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

app::Rect AlbumListBox::screenRect() const {
  RECT r{};
  if (list_) GetWindowRect(list_, &r);
  return app::Rect{r.left, r.top, r.right, r.bottom};
}

int AlbumListBox::selectedIndex() const {
  if (!list_) return -1;
  const LRESULT selected = SendMessageA(list_, LB_GETCURSEL, 0, 0);
  return selected < 0 ? -1 : static_cast<int>(selected);
}

}  // namespace win32
