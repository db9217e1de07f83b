#pragma once
// Signing in: one request with the user name and the password digest, whose
// reply (the account data) says whether the credentials were accepted, names the
// user's group and lists the user's albums.
#include "app/app_state.h"

class TiXmlDocument;

namespace service {

// Signs in as state.login.username with state.login.hashedPassword, showing a
// progress view over the album list for the exchange (at least 400 ms). On
// acceptance sets state.signedIn and state.login.usergroup and refills the album
// list: "Private" (id 0) first, then the albums in document order. True when the
// data was accepted and every album read; every false result has been shown to
// the user already. Main thread only.
bool signInAndLoadAlbums(app::AppState& state);

// The part of the sign-in after the reply has loaded: reads the account data in
// `document` into `state` and shows what is wrong with it, as above.
bool readAccountData(app::AppState& state, const TiXmlDocument& document);

}  // namespace service
