#pragma once
// The application shell: what each menu command, list notification and tray
// message does to the state, and the start-up order after the main window
// exists. Front-ends translate their events into these calls.
#include <string>

namespace app {
class Album;
class AppState;
}  // namespace app

namespace shell {

// Menu and control ids, shared with the Windows resources.
enum CommandId : int {
  kCommandLogin = 40003,
  kCommandExit = 40002,
  kCommandDisablePrompt = 40006,
  kCommandThumb100 = 40011,
  kCommandThumb200 = 40012,
  kCommandThumb300 = 40013,
  kCommandThumb400 = 40014,
  kCommandViewHtml = 40007,
  kCommandViewBbcode = 40008,
  kCommandClearCache = 40009,
  kCommandAbout = 40005,
  kCommandTrayExit = 106,
  kCommandAlbumList = 107,  // the album list's control id; notifications come with it
};
constexpr int kListDoubleClick = 2;  // the list's double-click notification

// The thumbnail sizes offered (Options, Thumbnail Size), each with its command.
struct ThumbnailChoice {
  int size;
  int commandId;
};
constexpr ThumbnailChoice kThumbnailChoices[] = {
    {100, kCommandThumb100}, {200, kCommandThumb200}, {300, kCommandThumb300}, {400, kCommandThumb400}};
// The command that chooses `size`; 0 for a size that is not offered.
int thumbnailCommand(int size);
// The sizes offered, as a sentence says them: "100, 200, 300 or 400" (with
// other separators: "100|200|300|400").
std::string thumbnailSizes(const char* between = ", ", const char* beforeLast = " or ");

// The program's exit codes.
constexpr int kExitFromMenu = 18;    // File, Exit, and a destroyed main window
constexpr int kExitFromTray = 0;     // the notification icon's Exit
constexpr int kExitNoNetwork = 1;    // the network layer could not start

extern const char* const kAboutCaption;
extern const char* const kAboutText;

// Runs one command; answers 1 after a completed sign-in dialog, else 0.
// `notification` matters for the album list only.
int runCommand(app::AppState& state, int id, int notification = 0);

// The start-up after the main window and the album list exist: the check mark of
// the default thumbnail size, the network start, then the version check and the
// saved sign-in. False when the network could not start: the user has been told
// and the program is ending with kExitNoNetwork.
bool startProgram(app::AppState& state);
// The network start alone, for front-ends that run the later steps their own
// way; false as for startProgram.
bool startNetwork(app::AppState& state);

// Digests the typed password, signs in, and saves the sign-in when asked to.
bool signInFromDialog(app::AppState& state);

// "http://" + service host + "/" + usergroup + "/" + user + "/view.php?aid=" + id.
std::string albumPageAddress(const app::AppState& state, const app::Album& album);
// Opens the selected album's page; without a selection nothing happens.
void openAlbumPage(app::AppState& state);

// The title bar's closing box hides the window to the notification area once;
// a double click on the icon followed by the button's release restores it.
void onCloseRequest(app::AppState& state);
void onTrayDoubleClick(app::AppState& state);
void onTrayButtonUp(app::AppState& state);
// The program was started again in the same folder: the window comes out of the
// notification area when it is hidden there.
void onSecondStart(app::AppState& state);

}  // namespace shell
