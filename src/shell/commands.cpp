#include "shell/commands.h"

#include "app/app_state.h"
#include "app/version.h"
#include "platform/sockets.h"
#include "service/password_digest.h"
#include "service/sign_in.h"
#include "service/sign_in_file.h"
#include "upload/link_code_cache.h"

namespace shell {
namespace {

constexpr uint16_t kSocketsVersion = 0x0202;

void chooseThumbnailSize(app::AppState& state, int id) {
  for (const ThumbnailChoice& choice : kThumbnailChoices) {
    if (choice.commandId == id) state.thumbnailSize = choice.size;
    state.desktop->setMenuCheck(choice.commandId, choice.commandId == id);
  }
}

void viewLinkCodes(app::AppState& state, upload::CodeKind kind) {
  state.desktop->showLinkCodeViewer(kind, upload::viewerText(kind));
}

}  // namespace

const char* const kAboutCaption = "About Kestrova Flingpost";
const char* const kAboutText =
    "Kestrova Flingpost Uploader v" FLINGPOST_VERSION " (beta)\r\n"
    "\r\n"
    "To use, just log in, then drag files over to an album panel.\r\n"
    "\r\n"
    "This is beta software, and is not guaranteed to work.\r\n"
    "Please report bugs and problems to Kestrova.";

int thumbnailCommand(int size) {
  for (const ThumbnailChoice& choice : kThumbnailChoices)
    if (choice.size == size) return choice.commandId;
  return 0;
}

std::string thumbnailSizes(const char* between, const char* beforeLast) {
  std::string text;
  for (const ThumbnailChoice& choice : kThumbnailChoices) {
    if (!text.empty()) text += &choice == std::end(kThumbnailChoices) - 1 ? beforeLast : between;
    text += std::to_string(choice.size);
  }
  return text;
}

int runCommand(app::AppState& state, int id, int notification) {
  app::Desktop& desktop = *state.desktop;
  switch (id) {
    case kCommandLogin:
      if (!desktop.runSignInDialog(state.login)) return 0;
      signInFromDialog(state);
      return 1;  // the window's answer to a completed sign-in
    case kCommandExit:
      desktop.endProgram(kExitFromMenu);
      break;
    case kCommandDisablePrompt:
      state.promptBeforeUpload = !state.promptBeforeUpload;
      desktop.setMenuCheck(kCommandDisablePrompt, !state.promptBeforeUpload);
      break;
    case kCommandThumb100:
    case kCommandThumb200:
    case kCommandThumb300:
    case kCommandThumb400:
      chooseThumbnailSize(state, id);
      break;
    case kCommandViewHtml:
    case kCommandViewBbcode:
      viewLinkCodes(state, id == kCommandViewHtml ? upload::CodeKind::kHtml : upload::CodeKind::kBbcode);
      break;
    case kCommandClearCache:
      if (desktop.messageBox(upload::kClearCacheQuestion, "Are you sure?", app::MessageButtons::kYesNo) ==
          app::MessageAnswer::kYes) {
        upload::clearLinkCodes();
      }
      break;
    case kCommandAbout:
      desktop.messageBox(kAboutText, kAboutCaption, app::MessageButtons::kOk);
      break;
    case kCommandTrayExit:
      desktop.removeTrayIcon();
      desktop.endProgram(kExitFromTray);
      break;
    case kCommandAlbumList:
      if (notification == kListDoubleClick) openAlbumPage(state);
      break;
  }
  return 0;
}

bool startProgram(app::AppState& state) {
  state.desktop->setMenuCheck(kCommandThumb200, true);
  if (!startNetwork(state)) return false;
  service::startUp(state);
  return true;
}

// The message names Winsock on every system: its words are the program's own.
bool startNetwork(app::AppState& state) {
  uint16_t granted = 0;
  if (state.env->startupSockets(kSocketsVersion, &granted) != 0) {
    state.desktop->messageBox("Error initializing Winsock.\r\n\r\nThe application will now close.", "Winsock Error",
                              app::MessageButtons::kOk);
    state.desktop->endProgram(kExitNoNetwork);
    return false;
  }
  return true;
}

bool signInFromDialog(app::AppState& state) {
  {
    const service::PasswordDigest digest;
    state.login.hashedPassword = digest.digestText(state.login.password);
  }
  if (!service::signInAndLoadAlbums(state)) return false;
  if (state.login.autoLogin) service::saveSignInFile(state);
  return true;
}

std::string albumPageAddress(const app::AppState& state, const app::Album& album) {
  return state.service.siteRoot() + state.login.usergroup + "/" + state.login.username + "/view.php?aid=" +
         std::to_string(album.id);
}

void openAlbumPage(app::AppState& state) {
  const app::Album* album = state.albumList().album(state.albumList().selectedIndex());
  if (album) state.desktop->openInBrowser(albumPageAddress(state, *album));
}

void onCloseRequest(app::AppState& state) {
  if (state.inTray) return;
  state.desktop->minimiseToTray();
  state.inTray = true;
}

void onTrayDoubleClick(app::AppState& state) { state.trayDoubleClicked = true; }

void onSecondStart(app::AppState& state) {
  if (!state.inTray) return;
  state.desktop->restoreFromTray();
  state.trayDoubleClicked = false;
  state.inTray = false;
}

void onTrayButtonUp(app::AppState& state) {
  if (!state.trayDoubleClicked) return;
  state.desktop->restoreFromTray();
  state.trayDoubleClicked = false;
  state.inTray = false;
}

}  // namespace shell
