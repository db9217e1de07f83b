#include "shell/console/one_shot.h"

#include "app/data_files.h"
#include "platform/files.h"
#include "service/sign_in.h"
#include "service/sign_in_file.h"
#include "shell/commands.h"
#include "shell/console/console_app.h"
#include "shell/console/console_input.h"
#include "shell/console/results.h"
#include "shell/console/upload_files.h"
#include "shell/console/version_notice.h"

namespace console {
namespace {

// A version check still running when the command is done gets this long to
// show its notice.
constexpr unsigned kVersionCheckGraceMs = 2000;

const char kCodesKept[] = "; the link codes are kept in data/htmlcodes.txt and data/bbcodes.txt";

// The end of every command: a failed write to standard output (a full disk, a
// closed pipe) turns any status into a failure.
int finish(ConsoleDesktop& desktop, int status, const char* kept = "") {
  std::string why;
  if (outputWritten(&why)) return status;
  desktop.error("cannot write to standard output: " + why + kept);
  return kExitFailed;
}

// A failure before any result: with --json its reason goes to standard output too.
int failed(ConsoleDesktop& desktop, const Options& o) {
  if (o.json) printJsonError(desktop.lastError().empty() ? "failed" : desktop.lastError());
  return finish(desktop, kExitFailed);
}

// With --user as from the sign-in dialog, otherwise with the saved sign-in.
bool signIn(app::AppState& state, ConsoleDesktop& desktop, const Options& o) {
  if (!o.user.empty()) {
    std::string password;
    if (!o.passwordStdin) desktop.note("Password: ");
    if (!(o.passwordStdin ? readLine(password) : readSecretLine(password))) {
      desktop.error("no password given");
      return false;
    }
    state.login.username = o.user;
    state.login.password = password;
    state.login.hashedPassword.clear();
    state.login.autoLogin = o.remember;
    return shell::signInFromDialog(state);
  }
  if (!platform::pathExists(app::dataPath(app::kLoginInfoFile))) {
    desktop.error("not signed in: run \"flingpost login --user NAME --remember\" first, or give --user NAME");
    return false;
  }
  return service::loadSignInFile(state) && service::signInAndLoadAlbums(state);
}

int upload(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files) {
  const int index = desktop.consoleList().findKey(o.album);
  if (index < 0) {
    desktop.error("no album has the key " + o.album + "; \"flingpost albums\" lists them");
    return failed(desktop, o);
  }
  if (o.thumb) shell::runCommand(state, shell::kCommandThumb100 + (o.thumb / 100 - 1));
  ConsoleDrop drop(index, files);
  upload::BatchOutcome batch;
  {
    InterruptGuard guard;
    batch = upload::uploadDroppedFiles(state, drop);
  }
  if (batch.end == upload::BatchOutcome::End::kDeclined) desktop.error("the upload was not confirmed; nothing was sent");
  const bool stopped = batch.end == upload::BatchOutcome::End::kStopped;
  if (batch.end != upload::BatchOutcome::End::kDone && !stopped) return failed(desktop, o);

  std::vector<FileResult> results(files.size());
  bool allDone = true;
  for (size_t i = 0; i < files.size(); ++i) {
    FileResult& r = results[i];
    r.path = files[i];
    if (i >= batch.files.size()) {
      r.error = "not tried: the upload was stopped by Ctrl-C";
    } else if (batch.files[i].linked) {
      r.codes = &batch.files[i].codes;
    } else {
      const upload::FileOutcome& f = batch.files[i];
      // The batch gives every failed file its reason; the one Ctrl-C stopped says so.
      r.error = stopped && i + 1 == batch.files.size() ? "stopped by Ctrl-C" : f.error;
      if (o.verbose && !f.uploaded)
        desktop.note("Trail of the failed upload of " + f.path + ":\n" + toTerminalText(f.trail));
    }
    if (!r.codes) desktop.error(r.path + ": " + r.error);
    allDone = allDone && r.codes;
  }
  desktop.clearBar();
  printUploadResults(results, o.json);
  return finish(desktop, stopped ? kExitInterrupted : allDone ? kExitOk : kExitFilesFailed, kCodesKept);
}

}  // namespace

int runOneShot(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files) {
  state.paceSignIn = false;
  state.uploadIdleLimitMs = uint32_t(o.timeoutSeconds) * 1000;
  if (!shell::startNetwork(state)) return failed(desktop, o);
  DailyVersionCheck versionCheck;
  if (!o.quiet) versionCheck.startIfDue(state);

  int status;
  if (!signIn(state, desktop, o)) {
    status = failed(desktop, o);
  } else if (o.command == "upload") {
    status = upload(state, desktop, o, files);
  } else {
    desktop.clearBar();
    printAlbums(state.albumList(), o.json);
    status = finish(desktop, kExitOk);
  }
  versionCheck.waitMs(kVersionCheckGraceMs);
  return status;
}

}  // namespace console
