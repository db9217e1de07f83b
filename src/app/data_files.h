#pragma once
// The client's files live in one folder: "data" of the working directory,
// unless the front-end chose another at start (the console keeps them per
// user). Service replies are written there first and parsed from there; the
// files are replaced on every exchange and never deleted. Every file of the
// folder is named here, and nowhere else.
#include <string>

namespace app {

extern const char kDataFolder[];         // "data": the folder unless another is chosen
extern const char kUserDataFile[];       // "userdata.xml": the last sign-in reply
extern const char kServerDataFile[];     // "serverdata.xml": the last upload server reply
extern const char kVersionDataFile[];    // "versiondata.xml": the last version reply
extern const char kLoginInfoFile[];      // "logininfo.xml": the saved sign-in
extern const char kUploadResponseFile[]; // "uploadresponse.xml": the last upload reply
extern const char kHtmlCodesFile[];      // "htmlcodes.txt": the HTML link codes
extern const char kBbCodesFile[];        // "bbcodes.txt": the BBCode link codes
extern const char kLastErrorFile[];      // "lasterror.xml": why the batch's last failed file failed
extern const char kLockFile[];           // "flingpost.lock": held by the run that uses the folder
// The console's own: the time of its last version check (seconds since 1970,
// in decimal), and the old folders whose saved sign-in it has pointed out.
extern const char kVersionCheckFile[];   // "versioncheck.txt"
extern const char kOldFoldersFile[];     // "oldfolders.txt"

// The folder of the client's files: kDataFolder, or the one that
// useDataFolder chose.
const std::string& dataFolder();

// Puts the client's files into `folder` for the rest of the run. The one
// place where a front-end chooses it: at start, before any thread runs and
// before the folder is locked, since nothing guards the choice afterwards.
void useDataFolder(const std::string& folder);

// dataFolder() + the platform's separator + `name`.
std::string dataPath(const std::string& name);

}  // namespace app
