#include "app/app_state.h"

#include <fstream>
#include <stdexcept>
#include <utility>

#include "app/data_files.h"
#include "platform/files.h"

namespace app {

Rect centreOnDesktop(const Rect& window, const Rect& desktop) {
  const int32_t w = window.width();
  const int32_t h = window.height();
  const int32_t dw = desktop.width();
  const int32_t dh = desktop.height();
  return Rect{(dw - w) / 2, (dh - h) / 2, (dw + w) / 2, (dh + h) / 2};
}

AppState::AppState(std::shared_ptr<Desktop> desktopArg, const Rect& placementArg)
    : desktop(std::move(desktopArg)), placement(placementArg) {
  if (!desktop) throw std::invalid_argument("AppState needs a desktop");
  placement = centreOnDesktop(placement, desktop->desktopRect());
  // An existing folder is no failure; a missing one shows up later as the
  // service exchanges' own load failures.
  platform::createDirectory(dataFolder());
  // The link-code cache starts empty at every run.
  for (const char* name : {kHtmlCodesFile, kBbCodesFile}) {
    std::ofstream(dataPath(name), std::ios::out | std::ios::trunc);
  }
}

AppState::~AppState() = default;

}  // namespace app
