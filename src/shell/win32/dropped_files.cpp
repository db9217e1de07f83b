#include "shell/win32/dropped_files.h"

#include <commctrl.h>

#include <string>

#include "app/desktop.h"
#include "platform/charset.h"

namespace win32 {

int HdropFiles::albumIndex(app::AlbumListView& list) {
  // The drop point is relative to the list box; LBItemFromPt wants it on the screen.
  POINT at{};
  DragQueryPoint(drop_, &at);
  const app::Rect listRect = list.screenRect();
  at.x += listRect.left;
  at.y += listRect.top;
  return LBItemFromPt(list_, at, TRUE);
}

int HdropFiles::count() {
  return drop_ ? static_cast<int>(DragQueryFileW(drop_, 0xFFFFFFFF, nullptr, 0)) : 0;
}

std::string HdropFiles::path(int index) {
  // Asked for its length first, the path fits its buffer whole.
  const UINT length = DragQueryFileW(drop_, static_cast<UINT>(index), nullptr, 0);
  std::u16string path(size_t(length) + 1, u'\0');
  DragQueryFileW(drop_, static_cast<UINT>(index), reinterpret_cast<wchar_t*>(&path[0]), length + 1);
  // Measured rather than taken from the answer, which counts differently on
  // some systems.
  path.resize(std::char_traits<char16_t>::length(path.c_str()));
  return platform::utf16ToUtf8(path);
}

void HdropFiles::finish() {
  if (drop_) DragFinish(drop_);
  drop_ = nullptr;
}

}  // namespace win32
