#include "shell/console/data_folder.h"

#include <cstdlib>

#include "app/data_files.h"
#include "platform/files.h"
#include "shell/console/plain_text.h"

namespace console {
namespace {

const char kEnvironmentName[] = "FLINGPOST_DATA_DIR";
// The old folders already pointed out (app::kOldFoldersFile) hold one full
// path per line, up to this size.
constexpr size_t kPointedOutLimit = 64 * 1024;

std::string oldLoginInfo() { return std::string(app::kDataFolder) + platform::pathSeparator() + app::kLoginInfoFile; }

// The working folder's "data" when it holds a saved sign-in and is not the folder in use.
std::string oldFolder() {
  if (!platform::pathExists(oldLoginInfo())) return std::string();
  const std::string old = platform::fullPath(app::kDataFolder);
  return old == platform::fullPath(app::dataFolder()) ? std::string() : old;
}

}  // namespace

const char kUserFolderName[] = "flingpost";

bool chooseDataFolder(const Options& o, std::string* folder, bool* perUser) {
  *perUser = false;
  if (!o.dataDir.empty()) {
    *folder = o.dataDir;
    return true;
  }
  if (const char* chosen = std::getenv(kEnvironmentName)) {
    if (!*chosen) return usageError(std::string(kEnvironmentName) + " is empty: name a folder, or unset it");
    *folder = chosen;
    return true;
  }
  const std::string state = platform::userStateFolder();
  if (state.empty()) return usageError("no folder for the files: HOME is not set; give --data-dir DIR");
  *folder = state + platform::pathSeparator() + kUserFolderName;
  *perUser = true;
  return true;
}

std::string oldSignInHint() {
  const std::string old = oldFolder();
  if (old.empty()) return std::string();
  return "; " + old + " holds a saved sign-in of an older flingpost: give --data-dir " + app::kDataFolder + " to use it";
}

void noteOldSignIn(ConsoleDesktop& desktop) {
  const std::string old = desktop.settings().quiet ? std::string() : oldFolder();
  if (old.empty()) return;
  const std::string record = app::dataPath(app::kOldFoldersFile);
  std::string told;
  platform::readWholeFile(record, kPointedOutLimit, &told);
  if (("\n" + told).find("\n" + old + "\n") != std::string::npos) return;
  const std::string now = platform::fullPath(app::dataFolder());
  desktop.note("flingpost: " + plainText(old) + " holds a sign-in saved by an older flingpost, which kept its files " +
               "in the folder it was started in; they are now kept in " + plainText(now) + ". To use that sign-in, " +
               "give --data-dir " + app::kDataFolder + ", or move " + plainText(oldLoginInfo()) + " into " +
               plainText(now) + ". (This is said once.)\n");
  if (told.size() + old.size() < kPointedOutLimit) told += old + "\n";
  platform::writeWholeFile(record, told.data(), told.size());
}

}  // namespace console
