#pragma once
// The one state object of the client: sign-in data, options, the upload address
// and the desktop through which everything talks to the user. It is created
// before the main window, lives for the whole run and is handed to every command,
// service exchange and upload. All fields belong to the main thread; the version
// check gets copies of what it needs (see service/version_check.h).
#include <cstdint>
#include <memory>
#include <string>

#include "app/desktop.h"
#include "app/rect.h"
#include "app/service_endpoint.h"
#include "platform/env.h"

namespace app {

struct LoginInfo {
  std::string username;        // from the sign-in dialog or the saved sign-in file
  std::string usergroup;       // from the account data; a path segment of album pages
  std::string password;        // as typed in the dialog; never saved or sent
  std::string hashedPassword;  // 32 lower-case hex digits: MD5 of `password`
  bool autoLogin = false;      // the dialog's "Log in automatically" box
};

// The window's size at start; construction centres it on the desktop.
constexpr Rect kInitialPlacement{0, 0, 200, 500};

// `window` moved to the middle of `desktop`, keeping its size. The halvings are
// signed divisions truncated toward zero, as the window placement always was.
Rect centreOnDesktop(const Rect& window, const Rect& desktop);

class AppState {
 public:
  // Centres `placement` on desktop->desktopRect(), creates the data folder and
  // empties the link-code cache files in it. `desktop` must not be null.
  explicit AppState(std::shared_ptr<Desktop> desktop, const Rect& placement = kInitialPlacement);
  virtual ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  AlbumListView& albumList() const { return desktop->albumList(); }

  // Shared so that the version-check thread can keep it after this state is gone.
  const std::shared_ptr<Desktop> desktop;

  const char* const className = "Flingpost";
  const char* const title = "Kestrova Uploader";
  const uint32_t windowStyle = 0x10CC0000;  // visible, caption, system menu, sizing border
  Rect placement;                           // the main window's rectangle, centred

  bool signedIn = false;            // account data accepted by the last sign-in
  bool promptBeforeUpload = true;   // ask before each upload batch
  bool inTray = false;              // the window is hidden to the notification area
  bool trayDoubleClicked = false;   // the next left-button release restores it
  int32_t thumbnailSize = 200;      // 100, 200, 300 or 400, sent with each upload
  LoginInfo login;
  std::string uploadUrl;            // set by the last successful upload server lookup
  bool versionCheckStarted = false; // the version check runs once per process
  // The sign-in pauses so that its progress window can be read; where nobody
  // watches one (the console's one-shot commands) the pauses are switched off.
  bool paceSignIn = true;
  // How long an upload may go without a byte moving before its file fails, in
  // milliseconds; 0 keeps the upload component's own limit.
  uint32_t uploadIdleLimitMs = 0;

  // Where service requests go: kestrova.com:80 until the front-end sets what
  // chooseServiceEndpoint found, before startUp.
  ServiceEndpoint service;

  // The clock, socket start-up and ANSI code set of the run, for what the
  // client hands them to: the system's own, unless a test sets its own before
  // startUp.
  platform::Env* env = &platform::Env::standard();
};

}  // namespace app
