#include "shell/console/console_app.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/terminal.h"
#include "shell/commands.h"
#include "shell/console/command_line.h"
#include "shell/console/console_desktop.h"
#include "shell/console/one_shot.h"
#include "shell/console/session.h"
#include "shell/console/upload_files.h"

namespace console {
namespace {

// The files of an upload: those named and those listed, every one checked
// before the service is asked anything. -1 when all can be sent, else the exit
// code after the messages.
int gatherFiles(const Options& o, std::vector<std::string>* files) {
  *files = o.files;
  std::string why;
  if (!o.filesFrom.empty() && !readFileList(o.filesFrom, files, &why)) return usageError(why);
  if (files->empty()) return usageError("the list " + o.filesFrom + " names no file");
  const std::vector<std::string> bad = unusableFiles(*files);
  for (const std::string& line : bad) std::fprintf(stderr, "flingpost: %s\n", line.c_str());
  if (bad.empty()) return -1;
  std::fprintf(stderr, "flingpost: nothing was sent\n");
  return kExitUsage;
}

}  // namespace

int run(int argc, char** argv) {
  Options o;
  const int bad = parseCommandLine(argc, argv, o);
  if (bad >= 0) return bad;
  if (o.help || o.version) {
    std::fputs(o.help ? kUsage : kVersion, stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
  }
  app::ServiceEndpoint service = app::serviceEndpoint();
  if (!o.service.empty() && !app::parseServiceEndpoint(o.service, &service))
    return usageError("--service takes HOST[:PORT]");
  std::vector<std::string> files;
  if (o.command == "upload") {
    const int unusable = gatherFiles(o, &files);
    if (unusable >= 0) return unusable;
  }
  // A closed pipe on standard output is a failure to report, not a silent end.
  platform::ignoreBrokenPipe();

  ConsoleSettings settings;
  settings.assumeYes = o.yes;
  settings.progressBar = platform::isTerminal(platform::Stream::kErr);
  settings.quiet = o.quiet;
  auto desktop = std::make_shared<ConsoleDesktop>(settings);
  app::AppState state(desktop);
  state.service = service;

  if (!o.command.empty()) return runOneShot(state, *desktop, o, files);
  if (!shell::startProgram(state)) return desktop->exitCode();
  return runSession(state, *desktop);
}

}  // namespace console
