#pragma once
// Once at every start the client asks the service for its current version and
// tells the user when it differs from its own. The check runs on a thread of its
// own so that the start is not held up by a slow service.
#include <memory>

#include "app/app_state.h"

class TiXmlDocument;

namespace service {

extern const char kClientVersion[];  // the client's own version: FLINGPOST_VERSION of app/version.h

// Starts the check on a detached thread and sets state.versionCheckStarted when
// the thread could be started. The thread gets its own references to what it
// uses (the desktop, shared; a copy of the endpoint), so it may safely outlive
// `state`: the process can end, and the state go, while it still waits for the
// service.
void startVersionCheck(app::AppState& state);

// The thread's body: fetches the version document into data/versiondata.xml and,
// when its current_version text differs from kClientVersion in any way, shows the
// news on `desktop`. Fetch failures show their own message; anything else wrong
// with the reply ends the check silently. True when the document was read
// through to the comparison.
bool versionCheckThread(app::Desktop& desktop, const app::ServiceEndpoint& endpoint);

// The part of the check after the reply has loaded: compares the version that
// `document` names and shows the news, naming `host`, as above.
bool readVersionDocument(app::Desktop& desktop, const std::string& host, const TiXmlDocument& document);

}  // namespace service
