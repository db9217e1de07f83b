// Feeds arbitrary bytes as each document of the data folder, written to its
// file and read back through loadXmlFile and the code that reads it, as the
// client does. The first input byte chooses the document (modulo 5); the rest
// are its bytes:
//   0  data/logininfo.xml       the saved sign-in
//   1  data/userdata.xml        the account data and the albums
//   2  data/serverdata.xml      the upload address, then the address reader
//   3  data/versiondata.xml     the current version
//   4  data/uploadresponse.xml  the upload reply, into link codes
// Besides crashes and sanitizer reports it traps where a reader lets through
// what must never pass: a request path with a control character or a blank,
// link codes whose markup a reply could change. Each run has a fresh state in
// the working folder, so run it in a folder of its own (scripts/fuzz does).
#include <tinyxml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/data_files.h"
#include "app/web_address.h"
#include "platform/files.h"
#include "service/sign_in.h"
#include "service/sign_in_file.h"
#include "service/upload_server.h"
#include "service/version_check.h"
#include "service/xml_reading.h"
#include "support/scripted_desktop.h"
#include "upload/link_code_cache.h"
#include "upload/link_codes.h"

namespace {

size_t occurrences(const std::string& text, char c) { return size_t(std::count(text.begin(), text.end(), c)); }

// A path that may stand in a request line: no control character, no blank.
bool requestLineSafe(const std::string& path) {
  return std::none_of(path.begin(), path.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
}

// Link codes whose markup is only their own: whatever the addresses held, the
// quotes, brackets and line breaks are those of the two fixed forms.
bool codesKeepTheirForm(const upload::LinkCodes& codes) {
  const std::string& h = codes.html;
  const std::string& b = codes.bbcode;
  return occurrences(h, '"') == 4 && occurrences(h, '<') == 3 && occurrences(h, '>') == 3 &&
         occurrences(b, '[') == 4 && occurrences(b, ']') == 4 && (h + b).find_first_of("\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kFiles[] = {app::kLoginInfoFile, app::kUserDataFile, app::kServerDataFile,
                                       app::kVersionDataFile, app::kUploadResponseFile};
  const int kind = data[0] % 5;
  auto desktop = std::make_shared<testsupport::ScriptedDesktop>();
  app::AppState state(desktop);  // makes data/ and empties the link-code cache
  const std::string path = app::dataPath(kFiles[kind]);
  if (!platform::writeWholeFile(path, reinterpret_cast<const char*>(data) + 1, size - 1)) std::abort();

  TiXmlDocument document;
  switch (kind) {
    case 0:
      service::loadSignInFile(state);
      break;
    case 1:
      if (service::loadXmlFile(path, &document) && service::readAccountData(state, document) &&
          (!state.signedIn || state.albumList().itemText(0) != "0")) {
        __builtin_trap();  // accepted account data lists the private folder first
      }
      break;
    case 2: {
      app::WebAddress address;
      if (service::loadXmlFile(path, &document) && service::readUploadAddress(state, document) &&
          app::parseWebAddress(state.uploadUrl, app::AddressUse::kUpload, &address) &&
          (!requestLineSafe(address.path) || address.path[0] != '/' || address.host.empty())) {
        __builtin_trap();
      }
      break;
    }
    case 3:
      if (service::loadXmlFile(path, &document)) service::readVersionDocument(*desktop, state.service.host, document);
      break;
    default: {
      upload::LinkCodes codes;
      std::string reason;
      const bool made = upload::makeLinkCodes(path, upload::cacheFilePath(upload::CodeKind::kHtml),
                                              upload::cacheFilePath(upload::CodeKind::kBbcode), &codes, &reason);
      if (made ? !codesKeepTheirForm(codes) : reason.empty()) __builtin_trap();  // a failure always says why
      break;
    }
  }
  return 0;
}
