#include "shell/win32_geometry.h"

namespace shell {
namespace {

constexpr int32_t kTrayPieceFar = 100;   // the piece starts this far before the bar's end
constexpr int32_t kTrayPieceNear = 16;   // and ends this far before it
constexpr int32_t kCornerWidth = 150;
constexpr int32_t kCornerHeight = 30;

}  // namespace

app::Rect statusWindowRect(const app::Rect& over) {
  const int32_t left = (over.left + over.right) / 2 - kStatusWindowWidth / 2;
  const int32_t top = (over.top + over.bottom) / 2 - kStatusWindowHeight / 2;
  return app::Rect{left, top, left + kStatusWindowWidth, top + kStatusWindowHeight};
}

app::Rect trayTargetRect(const TraySurroundings& found, const app::Rect& fallback) {
  if (found.notifyArea) return *found.notifyArea;

  if (found.taskbar) {
    const app::Rect& b = found.taskbar->bar;
    switch (found.taskbar->edge) {
      case kEdgeLeft:
      case kEdgeRight:
        return app::Rect{b.left, b.bottom - kTrayPieceFar, b.right, b.bottom - kTrayPieceNear};
      case kEdgeTop:
      case kEdgeBottom:
        return app::Rect{b.right - kTrayPieceFar, b.top, b.right - kTrayPieceNear, b.bottom};
      default:
        return fallback;
    }
  }

  if (found.trayWindow) {
    app::Rect r = *found.trayWindow;
    if (r.width() > kCornerWidth) r.left = r.right - kCornerWidth;
    if (r.height() > kCornerHeight) r.top = r.bottom - kCornerHeight;
    return r;
  }

  app::Rect r = found.workArea;
  r.left = r.right - kCornerWidth;
  r.top = r.bottom - kCornerHeight;
  return r;
}

}  // namespace shell
