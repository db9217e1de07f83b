#pragma once
// The interactive session: a command per line that mirrors the window's menu,
// its album list and the drop of files on an album.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "shell/console/console_desktop.h"

namespace console {

// Splits a command line into words as a shell does: blanks separate words,
// '...' keeps everything literally, "..." keeps blanks and takes \" \\ \$ \`
// as escapes, and a backslash outside quotes keeps the next character. False
// for a quote that is not closed.
bool splitWords(const std::string& line, std::vector<std::string>* words);

// Runs the session until "exit" or the end of input; answers the exit code.
int runSession(app::AppState& state, ConsoleDesktop& desktop);

}  // namespace console
