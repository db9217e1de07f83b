#include "service/sign_in_file.h"

#include <tinyxml.h>

#include "app/data_files.h"
#include "platform/files.h"
#include "service/sign_in.h"
#include "service/version_check.h"
#include "service/xml_reading.h"

namespace service {
namespace {

const char kNoRoot[] = "Cannot find root node in logininfo XML";

bool fail(app::AppState& state, const std::string& message) {
  state.desktop->messageBox(message, "Setup Error", app::MessageButtons::kOk);
  return false;
}

void addTextElement(TiXmlElement* parent, const char* name, const std::string& text) {
  auto* element = new TiXmlElement(name);
  element->LinkEndChild(new TiXmlText(text));
  parent->LinkEndChild(element);
}

// Reads the text of login_info's child `name`; false after the message.
bool readField(app::AppState& state, const TiXmlElement* root, const char* name, std::string* value) {
  const TiXmlElement* element = firstChild(root, name);
  if (!element) return fail(state, kNoRoot);
  if (!elementText(element, value)) return fail(state, std::string("Body of ") + name + " node is empty!");
  return true;
}

}  // namespace

std::string renderSignInFile(const app::LoginInfo& login) {
  TiXmlDocument document;
  document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "yes"));
  auto* root = new TiXmlElement("login_info");
  addTextElement(root, "username", login.username);
  addTextElement(root, "hashed_password", login.hashedPassword);
  document.LinkEndChild(root);
  TiXmlPrinter printer;
  document.Accept(&printer);
  return printer.Str();
}

bool saveSignInFile(const app::AppState& state) {
  return platform::replaceFileAtomically(app::dataPath(app::kLoginInfoFile), renderSignInFile(state.login),
                                         /*ownerOnly=*/true);
}

bool loadSignInFile(app::AppState& state) {
  const std::string path = app::dataPath(app::kLoginInfoFile);
  TiXmlDocument document;
  if (!loadXmlFile(path, &document)) return fail(state, "Cannot open the saved sign-in file " + path + ".");
  const TiXmlElement* root = firstChild(&document, "login_info");
  if (!root) return fail(state, kNoRoot);
  if (!readField(state, root, "username", &state.login.username)) return false;
  return readField(state, root, "hashed_password", &state.login.hashedPassword);
}

bool startUp(app::AppState& state) {
  startVersionCheck(state);
  if (platform::pathExists(app::dataPath(app::kLoginInfoFile)) && loadSignInFile(state)) {
    signInAndLoadAlbums(state);
  }
  return true;
}

}  // namespace service
