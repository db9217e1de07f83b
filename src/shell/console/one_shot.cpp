#include "shell/console/one_shot.h"

#include <algorithm>
#include <cstdio>

#include "app/data_files.h"
#include "platform/files.h"
#include "service/sign_in.h"
#include "service/sign_in_file.h"
#include "shell/commands.h"
#include "shell/console/console_app.h"
#include "shell/console/console_input.h"
#include "shell/console/data_folder.h"
#include "shell/console/plain_text.h"
#include "shell/console/results.h"
#include "shell/console/upload_files.h"
#include "shell/console/version_notice.h"
#include "upload/link_code_cache.h"

namespace console {
namespace {

// A version check still running when the command is done gets this long to
// show its notice.
constexpr unsigned kVersionCheckGraceMs = 2000;
// The longest password taken; a hash of any length is the same size, and no
// password of this length is typed by hand.
constexpr size_t kLongestPassword = 1024;

// The end of every command: a failed write to standard output (a full disk, a
// closed pipe) turns any status into a failure.
int finish(ConsoleDesktop& desktop, int status) {
  std::string why;
  if (outputWritten(&why)) return status;
  desktop.error("cannot write to standard output: " + why);
  return kExitFailed;
}

// A failure before any result: with --json its reason goes to standard output too.
int failed(ConsoleDesktop& desktop, const Options& o) {
  if (o.json) printJsonError(desktop.lastError().empty() ? "failed" : desktop.lastError());
  return finish(desktop, kExitFailed);
}

// The password for --user, from standard input or typed at the terminal.
LineRead readPassword(ConsoleDesktop& desktop, const Options& o, std::string* password) {
  if (!o.passwordStdin) desktop.note("Password: ");
  return o.passwordStdin ? readInputLine(*password, kLongestPassword) : readSecretLine(*password, kLongestPassword);
}

// With --user as from the sign-in dialog, otherwise with the saved sign-in.
// With --remember the sign-in is saved; *saved says whether that worked (a
// full disk, a folder that cannot be written), after saying why it did not.
bool signIn(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::string& password,
            bool* saved) {
  *saved = true;
  if (!o.user.empty()) {
    state.login.username = o.user;
    state.login.password = password;
    state.login.hashedPassword.clear();
    state.login.autoLogin = false;  // saved below, where a failure is told
    if (!shell::signInFromDialog(state)) return false;
    std::string why;
    *saved = !o.remember || service::saveSignInFile(state, &why);
    if (!*saved) desktop.error("the sign-in was not saved: " + why);
    return true;
  }
  if (!platform::pathExists(app::dataPath(app::kLoginInfoFile))) {
    desktop.error("not signed in: run \"flingpost login --user NAME --remember\" first, or give --user NAME" +
                  oldSignInHint());
    return false;
  }
  return service::loadSignInFile(state) && service::signInAndLoadAlbums(state);
}

// What the failed write of the results leaves: where the link codes still are,
// or, for each file whose codes the cache files could not take either, that
// they are lost although the file reached the service.
std::string whereCodesAre(ConsoleDesktop& desktop, const upload::BatchOutcome& batch) {
  bool linked = false, lost = false;
  for (const upload::FileOutcome& f : batch.files) {
    linked = linked || f.linked;
    if (!f.linked || f.cached) continue;
    desktop.error(f.path + ": uploaded, but its link codes are lost");
    lost = true;
  }
  const std::string files =
      upload::cacheFilePath(app::CodeKind::kHtml) + " and " + upload::cacheFilePath(app::CodeKind::kBbcode);
  if (!linked) return std::string();
  if (lost) return "; the files named above reached the service, but " + files + " could not take their codes either";
  return "; the link codes are kept in " + files;
}

// Every file of the upload as the results show it, in the order given. Each
// finished file has had its line; the files never tried get theirs here.
std::vector<FileResult> resultsOf(ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files,
                                  const upload::BatchOutcome& batch) {
  const bool stopped = batch.end == upload::BatchOutcome::End::kStopped;
  std::vector<FileResult> results(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    FileResult& r = results[i];
    r.path = files[i];
    if (i >= batch.files.size()) {
      r.error = "not tried: the upload was " + stoppedBy();
      desktop.error(r.path + ": " + r.error);
    } else if (batch.files[i].linked) {
      r.codes = &batch.files[i].codes;
    } else {
      const upload::FileOutcome& f = batch.files[i];
      // The batch gives every failed file its reason; the one a stop cut off says so.
      r.error = stopped && i + 1 == batch.files.size() ? stoppedBy() : f.error;
      if (o.verbose && !f.uploaded)
        desktop.note("Trail of the failed upload of " + plainText(f.path) + ":\n" + f.trail);
    }
  }
  return results;
}

int upload(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files) {
  const int index = desktop.consoleList().findKey(o.album);
  if (index < 0) {
    desktop.error("no album has the key " + o.album + "; \"flingpost albums\" lists them");
    return failed(desktop, o);
  }
  if (o.thumb) shell::runCommand(state, shell::thumbnailCommand(o.thumb));
  ConsoleDrop drop(index, files);
  // Until the report is out: a stop asked for meanwhile still gets every file reported.
  InterruptGuard guard;
  const upload::BatchOutcome batch = upload::uploadDroppedFiles(state, drop);
  if (batch.end == upload::BatchOutcome::End::kDeclined) desktop.error("the upload was not confirmed; nothing was sent");
  const bool stopped = batch.end == upload::BatchOutcome::End::kStopped;
  if (batch.end != upload::BatchOutcome::End::kDone && !stopped) return failed(desktop, o);

  const std::vector<FileResult> results = resultsOf(desktop, o, files, batch);
  desktop.clearBar();
  printUploadResults(results, o.json);
  std::string why;
  if (!outputWritten(&why)) {
    desktop.error("cannot write to standard output: " + why + whereCodesAre(desktop, batch));
    // What stopped the run still says so: a hang-up takes the terminal along.
    return stopped ? stoppedStatus() : kExitFailed;
  }
  const bool allDone =
      std::all_of(results.begin(), results.end(), [](const FileResult& r) { return r.codes != nullptr; });
  return stopped ? stoppedStatus() : allDone ? kExitOk : kExitFilesFailed;
}

}  // namespace

int runOneShot(app::AppState& state, ConsoleDesktop& desktop, const Options& o, const std::vector<std::string>& files) {
  state.paceSignIn = false;
  state.uploadIdleLimitMs = uint32_t(o.timeoutSeconds) * 1000;
  std::string password;
  const LineRead read = o.user.empty() ? LineRead::kLine : readPassword(desktop, o, &password);
  if (read == LineRead::kTooLong) {
    usageError("the password is longer than the " + std::to_string(kLongestPassword) + " bytes that flingpost takes");
    return kExitUsage;
  }
  if (read == LineRead::kEnd) {
    desktop.error("no password given");
    return failed(desktop, o);
  }
  if (!shell::startNetwork(state)) return failed(desktop, o);
  // News for a person at a terminal; a script's log has no use for it.
  DailyVersionCheck versionCheck;
  if (!o.quiet && desktop.settings().progressBar) versionCheck.startIfDue(state);

  int status;
  bool saved = true;
  if (!signIn(state, desktop, o, password, &saved)) {
    status = failed(desktop, o);
  } else if (o.command == "upload") {
    status = upload(state, desktop, o, files);
  } else {
    desktop.clearBar();
    printAlbums(state.albumList(), o.json);
    status = finish(desktop, kExitOk);
  }
  if (!saved && status == kExitOk) status = kExitFailed;
  versionCheck.waitMs(kVersionCheckGraceMs);
  return status;
}

int runLogout(ConsoleDesktop& desktop) {
  const std::string path = app::dataPath(app::kLoginInfoFile);
  const std::string full = platform::fullPath(app::dataFolder()) + platform::pathSeparator() + app::kLoginInfoFile;
  if (!platform::pathExists(path)) {
    std::printf("No sign-in is saved in %s%s.\n", plainText(full).c_str(), plainText(oldSignInHint()).c_str());
  } else if (std::remove(path.c_str()) != 0) {
    desktop.error("cannot forget the saved sign-in " + full + ": " + platform::osErrorText(platform::lastOsError()));
    return kExitFailed;
  } else {
    std::printf("Forgot the saved sign-in, which was in %s.\n", plainText(full).c_str());
  }
  return finish(desktop, kExitOk);
}

}  // namespace console
