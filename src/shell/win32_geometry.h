#pragma once
// Where the Windows program puts its windows: the progress window over a
// rectangle, and the target of the tray animation. Pure arithmetic on what the
// desktop reported, so it is checked on every system; the Windows code only
// gathers the inputs.
#include <cstdint>
#include <optional>

#include "app/rect.h"

namespace shell {

constexpr int32_t kStatusWindowWidth = 300;
constexpr int32_t kStatusWindowHeight = 70;

// The 300 x 70 progress window centred on `over`. The halvings are signed
// divisions truncated toward zero: over 0,0,200,500 it sits at -50, 215.
app::Rect statusWindowRect(const app::Rect& over);

// Task bar edges, as the shell numbers them (ABE_LEFT .. ABE_BOTTOM).
enum TaskbarEdge : uint32_t { kEdgeLeft = 0, kEdgeTop = 1, kEdgeRight = 2, kEdgeBottom = 3 };

struct TaskbarPosition {
  app::Rect bar;
  uint32_t edge = kEdgeBottom;  // any value is possible; only the four above count
};

// What the desktop told about its task bar; each part is absent when the
// desktop has no such thing (or the question failed).
struct TraySurroundings {
  std::optional<app::Rect> notifyArea;     // the notification area inside the task bar
  std::optional<TaskbarPosition> taskbar;  // the application bar's answer
  std::optional<app::Rect> trayWindow;     // the task bar window alone
  app::Rect workArea;                      // always known
};

// The rectangle the window shrinks into when it hides to the notification area,
// first match wins: the notification area itself; else a piece of the task bar
// from 100 to 16 pixels before its far end (its bottom for a vertical bar, its
// right end for a horizontal one; `fallback` for an edge value outside the
// four); else the bottom-right 150 x 30 corner of the task bar window, as far
// as it is that large; else the 150 x 30 bottom-right corner of the work area.
app::Rect trayTargetRect(const TraySurroundings& found, const app::Rect& fallback = app::Rect{});

}  // namespace shell
