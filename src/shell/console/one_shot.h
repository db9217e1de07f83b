#pragma once
// The one-shot commands for scripts (login, albums, upload): one sign-in, then
// the albums or the upload's link codes on standard output; and logout.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "shell/console/command_line.h"
#include "shell/console/console_desktop.h"

namespace console {

// Runs o.command with `files` (already checked) and answers the exit code.
// Nobody watches a one-shot command: the sign-in does not pause for its
// progress view, and the version check runs at most once a day.
int runOneShot(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files);

// logout: forgets the saved sign-in of the data folder and says where it was
// (or that none was saved); needs no service.
int runLogout(ConsoleDesktop& desktop);

}  // namespace console
