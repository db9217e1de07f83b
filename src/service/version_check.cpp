#include "service/version_check.h"

#include <tinyxml.h>

#include <string>

#include "app/data_files.h"
#include "app/version.h"
#include "platform/threads.h"
#include "service/fetcher.h"
#include "service/xml_reading.h"

namespace service {

const char kClientVersion[] = FLINGPOST_VERSION;

void startVersionCheck(app::AppState& state) {
  std::shared_ptr<app::Desktop> desktop = state.desktop;
  const app::ServiceEndpoint endpoint = state.service;
  state.versionCheckStarted =
      platform::startDetachedThread([desktop, endpoint] { versionCheckThread(*desktop, endpoint); });
}

bool versionCheckThread(app::Desktop& desktop, const app::ServiceEndpoint& endpoint) {
  const std::string request = serviceRequest("/versioncheckxml.php?application=flingpost", endpoint.host);
  std::string reply;
  if (!fetchServiceDocument(desktop, endpoint, request, &reply)) return false;

  TiXmlDocument document;
  if (!saveAndLoadReply(reply, app::kVersionDataFile, &document)) return false;
  return readVersionDocument(desktop, endpoint.host, document);
}

bool readVersionDocument(app::Desktop& desktop, const std::string& host, const TiXmlDocument& document) {
  std::string current;
  if (!elementText(firstChild(firstChild(&document, "appinfo"), "current_version"), &current)) return false;
  // Any difference is news, an older version's too: the service names the one to have.
  if (current != kClientVersion) {
    desktop.messageBox("There is a newer version available.\r\n\r\nPlease visit " + host +
                           " to download the most recent version of this application.",
                       "Newer Version Available", app::MessageButtons::kOk);
  }
  return true;
}

}  // namespace service
