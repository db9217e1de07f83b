#pragma once
// The saved sign-in: data/logininfo.xml holds the user name and the password
// digest (never the password) of the last sign-in made with "Log in
// automatically" ticked, and the next start signs in with it.
#include <string>

#include "app/app_state.h"

namespace service {

// The file's text for `login`: an XML declaration ("1.0", "UTF-8", "yes") and
// login_info holding username and hashed_password as element text, five lines
// exactly as TiXmlDocument::SaveFile writes them.
std::string renderSignInFile(const app::LoginInfo& login);

// Replaces data/logininfo.xml with state.login's user name and digest. The file
// signs in as the user, so it is written readable by its owner alone, and through
// a temporary file so that it is either the old or the complete new one. False
// when it could not be written (nobody is told: the sign-in itself succeeded).
bool saveSignInFile(const app::AppState& state);

// Reads data/logininfo.xml into state.login.username and .hashedPassword (the
// elements in any order and layout). False after showing a "Setup Error" box; the
// user name may then already be replaced.
bool loadSignInFile(app::AppState& state);

// Run once by the shell after the main window exists and sockets have started:
// starts the version check, then signs in with the saved sign-in when the file
// exists and loads. Always true.
bool startUp(app::AppState& state);

}  // namespace service
