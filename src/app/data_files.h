#pragma once
// The client's files live in the folder "data" of the working directory. Service
// replies are written there first and parsed from there; the files are replaced
// on every exchange and never deleted.
#include <string>

namespace app {

extern const char kDataFolder[];         // "data"
extern const char kUserDataFile[];       // "userdata.xml": the last sign-in reply
extern const char kServerDataFile[];     // "serverdata.xml": the last upload server reply
extern const char kVersionDataFile[];    // "versiondata.xml": the last version reply
extern const char kLoginInfoFile[];      // "logininfo.xml": the saved sign-in
extern const char kUploadResponseFile[]; // "uploadresponse.xml": the last upload reply
extern const char kHtmlCodesFile[];      // "htmlcodes.txt": the HTML link codes
extern const char kBbCodesFile[];        // "bbcodes.txt": the BBCode link codes

// "data" + the platform's separator + `name`, relative to the working directory.
std::string dataPath(const std::string& name);

}  // namespace app
