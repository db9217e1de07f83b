#include "service/sign_in.h"

#include <tinyxml.h>

#include <limits>
#include <memory>
#include <string>

#include "app/data_files.h"
#include "platform/clock.h"
#include "service/fetcher.h"
#include "service/xml_reading.h"

namespace service {
namespace {

const char kSetupError[] = "Setup Error";
const char kLoginError[] = "Login Error";

// The pauses keep the progress view readable even when the service answers at once.
constexpr uint32_t kPauseBeforeRequestMs = 300;
constexpr uint32_t kPauseAfterReplyMs = 100;

bool fail(app::AppState& state, const std::string& message, const char* caption) {
  state.desktop->messageBox(message, caption, app::MessageButtons::kOk);
  return false;
}

// Runs the exchange under the progress view: fetchServiceDocument's answer,
// reply and *cutShort. The view is gone when this returns, before any message
// below.
bool fetchAccountData(app::AppState& state, std::string* reply, std::string* cutShort) {
  std::unique_ptr<app::ProgressView> progress = state.desktop->showProgress(state.albumList().screenRect());
  progress->setStatusText("Attempting to log in as " + state.login.username);
  progress->setProgress(10);
  if (state.paceSignIn) platform::sleepMs(kPauseBeforeRequestMs);
  progress->setProgress(50);
  const std::string request =
      serviceRequest("/getuserdataxml.php?user=" + percentEncode(state.login.username) +
                         "&hashed_password=" + percentEncode(state.login.hashedPassword),
                     state.service.host);
  const bool fetched = fetchServiceDocument(*state.desktop, state.service, request, reply, cutShort);
  progress->setProgress(100);
  if (state.paceSignIn) platform::sleepMs(kPauseAfterReplyMs);
  return fetched;
}

// An album id text read the way strtol reads it: leading white space, an optional
// sign, then decimal digits up to the first other character; no digits give 0.
// Values beyond the 32-bit range are clamped to it. A null text gives 0.
int32_t parseAlbumId(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accumulate as a magnitude; stop growing once past the range.
  const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min())
                                 : int64_t(std::numeric_limits<int32_t>::max());
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude <= limit) magnitude = magnitude * 10 + (*p - '0');
  }
  if (magnitude > limit) magnitude = limit;
  return int32_t(negative ? -magnitude : magnitude);
}

// Adds one `album` element to the list; false (after the message) when one of
// its children is missing.
bool addAlbum(app::AppState& state, const TiXmlElement* album) {
  const TiXmlElement* id = firstChild(album, "id");
  if (!id) return fail(state, "Malformed XML at node id.", kSetupError);
  const TiXmlElement* nameElement = firstChild(album, "album_name");
  if (!nameElement) return fail(state, "Malformed XML at node album_name.", kSetupError);
  const TiXmlElement* descriptionElement = firstChild(album, "album_description");
  if (!descriptionElement) return fail(state, "Malformed XML at node album_description.", kSetupError);

  const int32_t value = parseAlbumId(id->GetText());
  std::string name;
  std::string description;
  elementText(nameElement, &name);
  elementText(descriptionElement, &description);
  state.albumList().addAlbum(std::to_string(value),
                             std::make_unique<app::Album>(value, std::move(name), std::move(description)));
  return true;
}

}  // namespace

bool signInAndLoadAlbums(app::AppState& state) {
  std::string reply, cutShort;
  if (!fetchAccountData(state, &reply, &cutShort)) return false;

  TiXmlDocument document;
  if (!saveAndLoadReply(reply, app::kUserDataFile, &document)) {
    return fail(state, withCause("Error opening user XML", cutShort), kSetupError);
  }
  return readAccountData(state, document);
}

bool readAccountData(app::AppState& state, const TiXmlDocument& document) {
  const TiXmlElement* userdata = firstChild(&document, "userdata");
  if (!userdata) return fail(state, "Malformed XML at node userdata.", kSetupError);

  const TiXmlElement* validated = firstChild(userdata, "validated");
  if (!validated) {
    if (firstChild(userdata, "error")) {
      return fail(state, "User " + state.login.username + " doesn't exist!\r\n\r\nPlease try again.",
                  kSetupError);
    }
    return fail(state, "Malformed XML at node validated.", kSetupError);
  }
  // Only the exact text "false" refuses; a missing status accepts like any other.
  const char* status = validated->Attribute("status");
  if (status && std::string(status) == "false") {
    state.signedIn = false;
    return fail(state, "Login failed.\r\n\r\nCheck username and password and try again.", kLoginError);
  }

  std::string usergroup;
  if (!elementText(firstChild(userdata, "usergroup"), &usergroup)) {
    state.signedIn = false;
    return fail(state, "User data retrieved from Kestrova was malformed.", kLoginError);
  }
  state.login.usergroup = usergroup;
  state.signedIn = true;

  app::AlbumListView& list = state.albumList();
  list.clear();
  list.addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
  for (const TiXmlElement* album = firstChild(userdata, "album"); album;
       album = album->NextSiblingElement("album")) {
    // The albums read so far stay listed and usable: the account was accepted.
    if (!addAlbum(state, album)) return false;
  }
  return true;
}

}  // namespace service
