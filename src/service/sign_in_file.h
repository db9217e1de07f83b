#pragma once
// The saved sign-in: data/logininfo.xml holds the user name and the password
// digest (never the password) of the last sign-in made with "Log in
// automatically" ticked, and the next start signs in with it.
#include "app/app_state.h"

namespace service {

// Replaces data/logininfo.xml with state.login's user name and digest: an XML
// declaration ("1.0", "UTF-8", "yes") and login_info holding username and
// hashed_password as element text, five lines as TiXmlDocument::SaveFile writes
// them. The user name is written as UTF-8, converted from the ANSI code set, and
// each blank that the library's reading would drop or merge (first, last, or next
// to another blank) as a character reference, so that the reading gives back
// exactly the name. The file signs in as the user, so it is written readable by
// its owner alone, and through a temporary file so that it is either the old or
// the complete new one. False when it could not be written, or when the name
// does not convert whole (such a file would sign in as somebody else); `why`
// (when given) then says which, naming the file. Nobody is told here: the
// sign-in itself succeeded.
bool saveSignInFile(const app::AppState& state, std::string* why = nullptr);

// Reads data/logininfo.xml into state.login.username and .hashedPassword (the
// elements in any order and layout). A user name in UTF-8 comes back in the ANSI
// code set; one that is not UTF-8 (written by older versions) is taken as it
// stands. False after showing a "Setup Error" box; the user name may then
// already be replaced.
bool loadSignInFile(app::AppState& state);

// Run once by the shell after the main window exists and sockets have started:
// starts the version check, then signs in with the saved sign-in when the file
// exists and loads.
void startUp(app::AppState& state);

}  // namespace service
