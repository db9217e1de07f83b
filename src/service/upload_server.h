#pragma once
// Uploads go to an address that the service names on request, asked for once
// before every upload batch.
#include "app/app_state.h"

class TiXmlDocument;

namespace service {

// Asks the service for the upload address and stores it, whole and unchecked, in
// state.uploadUrl. False, with uploadUrl unchanged, after a failure that has
// already been shown to the user. No progress view: the batch shows its own.
bool lookUpUploadServer(app::AppState& state);

// The part of the lookup after the reply has loaded: stores the address that
// `document` names, or shows what is wrong with it, as above.
bool readUploadAddress(app::AppState& state, const TiXmlDocument& document);

}  // namespace service
