#include "shell/win32/dropped_files.h"

#include <commctrl.h>

#include <cstring>

#include "app/desktop.h"

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
  return drop_ ? static_cast<int>(DragQueryFileA(drop_, 0xFFFFFFFF, nullptr, 0)) : 0;
}

std::string HdropFiles::path(int index) {
  char buffer[kPathBufferSize] = {};
  DragQueryFileA(drop_, static_cast<UINT>(index), buffer, kPathBufferSize);
  // Measured rather than taken from the answer: for a cut path some systems
  // answer the full length.
  return std::string(buffer, strnlen(buffer, kPathBufferSize - 1));
}

void HdropFiles::finish() {
  if (drop_) DragFinish(drop_);
  drop_ = nullptr;
}

}  // namespace win32
