#include "app/data_files.h"

#include "platform/files.h"

namespace app {

const char kDataFolder[] = "data";
const char kUserDataFile[] = "userdata.xml";
const char kServerDataFile[] = "serverdata.xml";
const char kVersionDataFile[] = "versiondata.xml";
const char kLoginInfoFile[] = "logininfo.xml";
const char kUploadResponseFile[] = "uploadresponse.xml";
const char kHtmlCodesFile[] = "htmlcodes.txt";
const char kBbCodesFile[] = "bbcodes.txt";
const char kLastErrorFile[] = "lasterror.xml";
const char kLockFile[] = "flingpost.lock";
const char kVersionCheckFile[] = "versioncheck.txt";
const char kOldFoldersFile[] = "oldfolders.txt";

namespace {

std::string& chosenFolder() {
  static std::string folder = kDataFolder;
  return folder;
}

}  // namespace

const std::string& dataFolder() { return chosenFolder(); }

void useDataFolder(const std::string& folder) { chosenFolder() = folder; }

std::string dataPath(const std::string& name) {
  std::string path = dataFolder();
  path += platform::pathSeparator();
  path += name;
  return path;
}

}  // namespace app
