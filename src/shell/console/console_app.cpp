#include "shell/console/console_app.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/data_files.h"
#include "app/data_folder_lock.h"
#include "app/proxy.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "shell/commands.h"
#include "shell/console/command_line.h"
#include "shell/console/console_desktop.h"
#include "shell/console/data_folder.h"
#include "shell/console/one_shot.h"
#include "shell/console/plain_text.h"
#include "shell/console/results.h"
#include "shell/console/session.h"
#include "shell/console/upload_files.h"

namespace console {
namespace {

// The files of an upload: those named and those listed, every one checked
// before the service is asked anything. False, after the messages, when any
// cannot be sent.
bool gatherFiles(const Options& o, std::vector<std::string>* files) {
  *files = o.files;
  std::string why;
  if (!o.filesFrom.empty() && !readFileList(o.filesFrom, files, &why)) return usageError(why);
  if (files->empty()) return usageError("the list " + o.filesFrom + " names no file");
  if (files->size() > kMostFiles) return usageError("one upload takes at most " + std::to_string(kMostFiles) + " files");
  const std::vector<std::string> bad = unusableFiles(*files);
  for (const std::string& line : bad) std::fprintf(stderr, "flingpost: %s\n", plainText(line).c_str());
  if (bad.empty()) return true;
  std::fprintf(stderr, "flingpost: nothing was sent\n");
  return false;
}

// The service, its trusted roots and the proxy of the run, from the options or
// else the environment; false after the usage error.
bool chooseService(const Options& o, app::ServiceEndpoint* service) {
  std::string why;
  if (app::chooseServiceEndpoint(o.service.empty() ? nullptr : &o.service, service, &why) &&
      app::chooseCaFile(o.caFile.empty() ? nullptr : &o.caFile, service, &why) &&
      app::chooseProxy(o.proxyGiven ? &o.proxy : nullptr, service, &why))
    return true;
  return usageError(why);
}

// One Flingpost per data folder: a second run waits a minute for the first to
// end (saying so where somebody watches).
std::unique_ptr<app::DataFolderLock> waitForDataFolder(const Options& o, ConsoleDesktop& desktop) {
  std::string problem;
  // A failure shows as the lock file's own, naming the folder.
  platform::createDirectoryPath(app::dataFolder());
  std::unique_ptr<app::DataFolderLock> lock = app::lockDataFolder(
      60000,
      [&desktop] {
        if (desktop.settings().progressBar)
          desktop.info("flingpost: waiting for another Flingpost using this folder (up to 60 s)\n");
      },
      &problem, "give this one another folder with --data-dir");
  if (!lock) {
    desktop.error(problem);
    if (o.json) printJsonError(problem);
  }
  return lock;
}

}  // namespace

int run(int argc, char** argv) {
  Options o;
  if (!parseCommandLine(argc, argv, o)) return kExitUsage;
  if (o.help || o.version) {
    std::fputs(o.help ? kUsage : kVersion, stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
  }
  std::string folder;
  bool perUserFolder = false;
  app::ServiceEndpoint service;
  std::vector<std::string> files;
  if (!chooseDataFolder(o, &folder, &perUserFolder) || !chooseService(o, &service) ||
      (o.command == "upload" && !gatherFiles(o, &files)))
    return kExitUsage;
  // A closed pipe on standard output is a failure to report, not a silent end.
  platform::ignoreBrokenPipe();

  ConsoleSettings settings;
  settings.assumeYes = o.yes;
  settings.progressBar = platform::isTerminal(platform::Stream::kErr);
  settings.quiet = o.quiet;
  auto desktop = std::make_shared<ConsoleDesktop>(settings);
  // The one place where the console's run is pointed at its folder: no thread
  // runs yet, and nothing has used the folder.
  app::useDataFolder(folder);
  // Held before the state empties the link-code cache, until the program ends.
  const std::unique_ptr<app::DataFolderLock> folderLock = waitForDataFolder(o, *desktop);
  if (!folderLock) return kExitFailed;
  if (perUserFolder) noteOldSignIn(*desktop);
  if (o.command == "logout") return runLogout(*desktop);
  app::AppState state(desktop);
  state.service = service;

  if (!o.command.empty()) return runOneShot(state, *desktop, o, files);
  if (!shell::startProgram(state)) return desktop->exitCode();
  return runSession(state, *desktop);
}

}  // namespace console
