#pragma once
// Where the console keeps its files: per user, so that a sign-in saved in one
// folder serves a command run in any other, and no folder it is started in
// fills with "data". --data-dir or FLINGPOST_DATA_DIR name another folder (a
// test, a second account). Older versions kept "data" in the working folder;
// a sign-in saved there is pointed out, not read.
#include <string>

#include "shell/console/command_line.h"
#include "shell/console/console_desktop.h"

namespace console {

// The folder's name inside the user's state folder.
extern const char kUserFolderName[];  // "flingpost"

// The folder of this run's files: --data-dir, else FLINGPOST_DATA_DIR, else
// kUserFolderName in the user's state folder (the files are state: the last
// replies, the saved sign-in, the last error, none of them a document of the
// user's). False after the usage error; else *folder is set, and *perUser says
// whether it is the last one.
bool chooseDataFolder(const Options& o, std::string* folder, bool* perUser);

// A hint for messages when "data" of the working folder holds a saved sign-in
// and is not the folder in use: "; <the folder> holds a saved sign-in of an
// older flingpost: give --data-dir data to use it". Empty otherwise.
std::string oldSignInHint();

// Says the same, with where the files are kept now, once for each such folder
// (the data folder keeps the list of those already pointed out); not with the
// quiet setting. For runs in the per-user folder: whoever names a folder knows
// where the files are.
void noteOldSignIn(ConsoleDesktop& desktop);

}  // namespace console
