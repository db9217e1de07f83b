#include "service/sign_in_file.h"

#include <tinyxml.h>

#include "app/data_files.h"
#include "platform/charset.h"
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

// One element on a line of its own, its text escaped as the library escapes it.
// The library's reading condenses blanks (a global switch that every document
// of the process shares), but leaves the blanks of character references alone.
std::string elementLine(const char* name, const std::string& text) {
  std::string escaped;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool condensed =
        text[i] == ' ' && (i == 0 || i + 1 == text.size() || text[i - 1] == ' ' || text[i + 1] == ' ');
    if (condensed) {
      escaped += "&#x20;";
    } else {
      TiXmlBase::EncodeString(text.substr(i, 1), &escaped);
    }
  }
  return std::string("    <") + name + ">" + escaped + "</" + name + ">\n";
}

// Reads the text of login_info's child `name`; false after the message. A
// missing field reads as a missing root, in the words users have always seen.
bool readField(app::AppState& state, const TiXmlElement* root, const char* name, std::string* value) {
  const TiXmlElement* element = firstChild(root, name);
  if (!element) return fail(state, kNoRoot);
  if (!elementText(element, value)) return fail(state, std::string("Body of ") + name + " node is empty!");
  return true;
}

// The file's text for `login`, whose name is in `codeSet`; false when the name
// does not convert whole.
bool renderSignInFile(const app::LoginInfo& login, const platform::CodeSet& codeSet, std::string* text) {
  bool lossy = false;
  const std::string name = platform::utf16ToUtf8(codeSet.toUtf16(login.username, &lossy));
  if (lossy) return false;
  *text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<login_info>\n" +
          elementLine("username", name) + elementLine("hashed_password", login.hashedPassword) + "</login_info>\n";
  return true;
}

}  // namespace

bool saveSignInFile(const app::AppState& state, std::string* why) {
  const std::string path = app::dataPath(app::kLoginInfoFile);
  std::string text;
  std::string problem;
  if (!renderSignInFile(state.login, state.env->codeSet(), &text)) {
    problem = "the user name has characters that this system's character set lacks";
  } else if (!platform::replaceFileAtomically(path, text, /*ownerOnly=*/true)) {
    problem = platform::osErrorText(platform::lastOsError());
  }
  if (why) *why = path + ": " + problem;
  return problem.empty();
}

bool loadSignInFile(app::AppState& state) {
  const std::string path = app::dataPath(app::kLoginInfoFile);
  TiXmlDocument document;
  std::string why;
  const std::string cannotOpen = "Cannot open the saved sign-in file " + path + ": ";
  if (!loadXmlFile(path, &document, &why)) return fail(state, cannotOpen + why);
  const TiXmlElement* root = firstChild(&document, "login_info");
  if (!root) return fail(state, kNoRoot);
  std::string name;
  if (!readField(state, root, "username", &name)) return false;
  bool notUtf8 = false;
  const std::u16string wide = platform::utf8ToUtf16(name, &notUtf8);
  if (!notUtf8) {
    bool lossy = false;
    name = state.env->codeSet().fromUtf16(wide, &lossy);
    if (lossy) {
      return fail(state, cannotOpen + "its user name has characters that this system's character set lacks.");
    }
  }
  state.login.username = name;
  return readField(state, root, "hashed_password", &state.login.hashedPassword);
}

void startUp(app::AppState& state) {
  startVersionCheck(state);
  if (platform::pathExists(app::dataPath(app::kLoginInfoFile)) && loadSignInFile(state)) {
    signInAndLoadAlbums(state);
  }
}

}  // namespace service
