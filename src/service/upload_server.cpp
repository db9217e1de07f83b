#include "service/upload_server.h"

#include <tinyxml.h>

#include <string>

#include "app/data_files.h"
#include "service/fetcher.h"
#include "service/xml_reading.h"

namespace service {
namespace {

bool fail(app::AppState& state, const std::string& message) {
  state.desktop->messageBox(message, "Setup Error", app::MessageButtons::kOk);
  return false;
}

}  // namespace

bool lookUpUploadServer(app::AppState& state) {
  std::string reply, cutShort;
  const std::string request = serviceRequest("/getserverxml.php", state.service.host);
  if (!fetchServiceDocument(*state.desktop, state.service, request, &reply, &cutShort)) return false;

  TiXmlDocument document;
  if (!saveAndLoadReply(reply, app::kServerDataFile, &document)) {
    return fail(state, withCause("Error opening server XML", cutShort));
  }
  return readUploadAddress(state, document);
}

bool readUploadAddress(app::AppState& state, const TiXmlDocument& document) {
  // A missing uploadform reads the same as a missing root to the user.
  const TiXmlElement* uploadform = firstChild(firstChild(&document, "getserver"), "uploadform");
  if (!uploadform) return fail(state, "Cannot find root node in server XML");
  std::string address;
  if (!elementText(uploadform, &address)) return fail(state, "Body of uploadform node is empty!");
  state.uploadUrl = address;
  return true;
}

}  // namespace service
