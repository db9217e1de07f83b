#include "shell/console/console_app.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/data_folder_lock.h"
#include "platform/terminal.h"
#include "shell/commands.h"
#include "shell/console/console_desktop.h"
#include "shell/console/json.h"
#include "upload/upload_batch.h"

namespace console {
namespace {

const char kUsage[] =
    "usage: flingpost [--service HOST[:PORT]] [COMMAND [OPTIONS]]\n"
    "\n"
    "Without a command, flingpost starts an interactive session (type \"help\").\n"
    "\n"
    "  login --user NAME [--password-stdin] [--remember] [--json]\n"
    "      sign in and print the albums: key, tab, name, tab, description\n"
    "  albums [--json]\n"
    "      sign in from the saved sign-in and print the albums\n"
    "  upload --album KEY [--user NAME --password-stdin] [--thumb 100|200|300|400]\n"
    "         [--yes] [--json] [--verbose] FILE...\n"
    "      upload the files into the album whose key is KEY, then print the HTML\n"
    "      codes one per line, an empty line, and the BBCodes one per line\n"
    "\n"
    "The password is read from the terminal without echo, or from standard input\n"
    "with --password-stdin; never from the command line. KESTROVA_SERVICE or\n"
    "--service chooses the service. Files are kept under ./data.\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 3 some files failed.\n";

const char kVersion[] = "flingpost 0.2\n";

struct Options {
  std::string command;
  std::string service;
  std::string user;
  std::string album;
  int thumb = 0;
  bool passwordStdin = false;
  bool remember = false;
  bool yes = false;
  bool json = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> files;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "flingpost: %s\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

// Parses the command line; returns -1 when it is well-formed, else an exit code.
int parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& into) -> bool {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") o.help = true;
    else if (a == "--version") o.version = true;
    else if (a == "--service") {
      if (!value(o.service)) return usageError("--service needs HOST[:PORT]");
    } else if (a == "--user") {
      if (!value(o.user)) return usageError("--user needs a name");
    } else if (a == "--album") {
      if (!value(o.album)) return usageError("--album needs a key");
    } else if (a == "--thumb") {
      std::string t;
      if (!value(t) || (t != "100" && t != "200" && t != "300" && t != "400"))
        return usageError("--thumb takes 100, 200, 300 or 400");
      o.thumb = std::stoi(t);
    } else if (a == "--password-stdin") o.passwordStdin = true;
    else if (a == "--remember") o.remember = true;
    else if (a == "--yes" || a == "-y") o.yes = true;
    else if (a == "--json") o.json = true;
    else if (a == "--verbose" || a == "-v") o.verbose = true;
    else if (a == "--password") return usageError("the password is never taken from the command line");
    else if (a.size() > 1 && a[0] == '-' && a != "-") return usageError("unknown option " + a);
    else if (o.command.empty()) o.command = a;
    else o.files.push_back(a);
  }
  if (o.help || o.version) return -1;
  if (o.command == "login" && o.user.empty()) return usageError("login needs --user NAME");
  if (o.command == "upload") {
    if (o.album.empty()) return usageError("upload needs --album KEY");
    if (o.files.empty()) return usageError("upload needs at least one FILE");
    if (!o.user.empty() && !o.passwordStdin && !platform::isTerminal(platform::Stream::kIn))
      return usageError("--user without a terminal needs --password-stdin");
  } else if (!o.files.empty()) {
    return usageError("unexpected argument " + o.files.front());
  }
  if (!o.command.empty() && o.command != "login" && o.command != "albums" && o.command != "upload")
    return usageError("unknown command " + o.command);
  return -1;
}

// The files of one console drop: the album is chosen by its list position.
class ConsoleDrop : public upload::DroppedFiles {
 public:
  ConsoleDrop(int albumIndex, std::vector<std::string> paths) : index_(albumIndex), paths_(std::move(paths)) {}
  int albumIndex(app::AlbumListView&) override { return index_; }
  int count() override { return int(paths_.size()); }
  std::string path(int index) override { return paths_[size_t(index)]; }
  void finish() override {}

 private:
  int index_;
  std::vector<std::string> paths_;
};

bool readPassword(const Options& o, std::string& password) {
  if (o.passwordStdin) {
    if (!std::getline(std::cin, password)) return false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
  }
  std::fputs("Password: ", stderr);
  std::fflush(stderr);
  return platform::readSecretLine(password);
}

void printAlbums(const app::AppState& state, bool json) {
  const app::AlbumListView& list = state.albumList();
  if (json) {
    std::printf("{\"albums\":[");
    for (int i = 0; i < list.count(); ++i) {
      const app::Album* a = list.album(i);
      std::printf("%s{\"key\":%s,\"id\":%d,\"name\":%s,\"description\":%s}", i ? "," : "",
                  jsonString(list.itemText(i)).c_str(), int(a->id), jsonString(a->name).c_str(),
                  jsonString(a->description).c_str());
    }
    std::printf("]}\n");
    return;
  }
  for (int i = 0; i < list.count(); ++i) {
    const app::Album* a = list.album(i);
    std::printf("%s\t%s\t%s\n", list.itemText(i).c_str(), a->name.c_str(), a->description.c_str());
  }
}

// The sign-in of the one-shot forms, as from the dialog.
bool signInFromFlags(app::AppState& state, const Options& o) {
  std::string password;
  if (!readPassword(o, password)) {
    std::fprintf(stderr, "flingpost: no password given\n");
    return false;
  }
  state.login.username = o.user;
  state.login.password = password;
  state.login.hashedPassword.clear();
  state.login.autoLogin = o.remember;
  return shell::signInFromDialog(state);
}

void printBatch(const upload::BatchOutcome& batch, bool json) {
  if (json) {
    std::printf("{\"files\":[");
    for (size_t i = 0; i < batch.files.size(); ++i) {
      const upload::FileOutcome& f = batch.files[i];
      std::printf("%s{\"path\":%s,\"ok\":%s,\"html\":%s,\"bbcode\":%s}", i ? "," : "", jsonString(f.path).c_str(),
                  f.linked ? "true" : "false", f.linked ? jsonString(f.codes.html).c_str() : "null",
                  f.linked ? jsonString(f.codes.bbcode).c_str() : "null");
    }
    std::printf("]}\n");
    return;
  }
  for (const auto& f : batch.files)
    if (f.linked) std::printf("%s\n", f.codes.html.c_str());
  std::printf("\n");
  for (const auto& f : batch.files)
    if (f.linked) std::printf("%s\n", f.codes.bbcode.c_str());
}

int runUpload(app::AppState& state, ConsoleDesktop& desktop, const Options& o) {
  if (!o.user.empty() && !signInFromFlags(state, o)) return kExitFailed;
  if (o.thumb) shell::runCommand(state, shell::kCommandThumb100 + (o.thumb / 100 - 1));
  ConsoleDrop drop(desktop.consoleList().findKey(o.album), o.files);
  upload::BatchOutcome batch;
  {
    InterruptGuard guard;
    batch = upload::uploadDroppedFiles(state, drop);
  }
  if (o.verbose) {
    for (const auto& f : batch.files)
      if (!f.uploaded) desktop.note("Trail of the failed upload of " + f.path + ":\n" + toTerminalText(f.trail));
  }
  const bool ran = batch.end == upload::BatchOutcome::End::kDone || batch.end == upload::BatchOutcome::End::kStopped;
  if (!ran) return kExitFailed;
  printBatch(batch, o.json);
  std::fflush(stdout);
  bool allLinked = batch.files.size() == size_t(drop.count());
  for (const auto& f : batch.files) allLinked = allLinked && f.linked;
  return allLinked ? kExitOk : kExitSomeFilesFailed;
}

// ---- the interactive session ----

const char kInteractiveHelp[] =
    "commands:\n"
    "  login                      sign in (File, Login)\n"
    "  albums                     list the albums with their numbers\n"
    "  drop N FILE...             drop files on album number N\n"
    "  thumb 100|200|300|400      thumbnail size\n"
    "  prompt on|off              ask before each upload\n"
    "  options                    show the options\n"
    "  html | bbcode              view the link codes\n"
    "  copy                       copy the codes last viewed to the clipboard\n"
    "  clear                      clear the link-code cache\n"
    "  open N                     open album number N in the browser\n"
    "  about | help | exit\n";

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  std::string s;
  while (in >> s) w.push_back(s);
  return w;
}

int albumNumber(ConsoleDesktop& desktop, const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (!end || *end || n < 1 || n > desktop.albumList().count()) return -1;
  return int(n - 1);
}

void copyToClipboard(ConsoleDesktop& desktop) {
  const std::string& text = desktop.lastViewerText();
  if (text.empty()) {
    desktop.note("Nothing to copy: view the HTML or BBCode codes first.\n");
    return;
  }
  // Terminals that support it put OSC 52 text on the system clipboard; the
  // whole text is sent, however long.
  static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string b64;
  for (size_t i = 0; i < text.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(text[i])) << 16;
    if (i + 1 < text.size()) v |= uint32_t(uint8_t(text[i + 1])) << 8;
    if (i + 2 < text.size()) v |= uint8_t(text[i + 2]);
    b64 += kB64[(v >> 18) & 63];
    b64 += kB64[(v >> 12) & 63];
    b64 += i + 1 < text.size() ? kB64[(v >> 6) & 63] : '=';
    b64 += i + 2 < text.size() ? kB64[v & 63] : '=';
  }
  if (platform::isTerminal(platform::Stream::kOut)) {
    std::printf("\x1b]52;c;%s\x07", b64.c_str());
    std::fflush(stdout);
  }
  desktop.note("Copied " + std::to_string(text.size()) + " characters.\n");
}

int runInteractive(app::AppState& state, ConsoleDesktop& desktop) {
  desktop.note("Kestrova Flingpost Uploader v0.2 (beta). Type \"help\" for the commands.\n");
  std::string line;
  while (!desktop.endRequested()) {
    std::fputs("> ", stderr);
    std::fflush(stderr);
    if (!std::getline(std::cin, line)) break;
    const std::vector<std::string> w = words(line);
    if (w.empty()) continue;
    const std::string& c = w[0];
    if (c == "help" || c == "?") desktop.note(kInteractiveHelp);
    else if (c == "login") shell::runCommand(state, shell::kCommandLogin);
    else if (c == "albums") {
      const app::AlbumListView& list = state.albumList();
      for (int i = 0; i < list.count(); ++i) {
        std::printf("%d\t%s\t%s\t%s\n", i + 1, list.itemText(i).c_str(), list.album(i)->name.c_str(),
                    list.album(i)->description.c_str());
      }
      std::fflush(stdout);
    } else if (c == "drop" && w.size() >= 3) {
      const int index = albumNumber(desktop, w[1]);
      ConsoleDrop drop(index, std::vector<std::string>(w.begin() + 2, w.end()));
      InterruptGuard guard;
      upload::uploadDroppedFiles(state, drop);
    } else if (c == "thumb" && w.size() == 2 && (w[1] == "100" || w[1] == "200" || w[1] == "300" || w[1] == "400")) {
      shell::runCommand(state, shell::kCommandThumb100 + (std::stoi(w[1]) / 100 - 1));
    } else if (c == "prompt" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
      if (state.promptBeforeUpload != (w[1] == "on")) shell::runCommand(state, shell::kCommandDisablePrompt);
    } else if (c == "options") {
      desktop.note("thumbnail size " + std::to_string(state.thumbnailSize) + ", prompt " +
                   (state.promptBeforeUpload ? "on" : "off") + ", " +
                   (state.signedIn ? "signed in as " + state.login.username : std::string("signed out")) + "\n");
    } else if (c == "html") shell::runCommand(state, shell::kCommandViewHtml);
    else if (c == "bbcode") shell::runCommand(state, shell::kCommandViewBbcode);
    else if (c == "copy") copyToClipboard(desktop);
    else if (c == "clear") shell::runCommand(state, shell::kCommandClearCache);
    else if (c == "open" && w.size() == 2 && albumNumber(desktop, w[1]) >= 0) {
      desktop.consoleList().select(albumNumber(desktop, w[1]));
      shell::runCommand(state, shell::kCommandAlbumList, shell::kListDoubleClick);
    } else if (c == "about") shell::runCommand(state, shell::kCommandAbout);
    else if (c == "exit" || c == "quit") break;
    else desktop.note("Unknown command; type \"help\".\n");
  }
  return kExitOk;
}

// One Flingpost per data folder: a second run waits a minute for the first to end.
std::unique_ptr<app::DataFolderLock> waitForDataFolder() {
  std::string problem;
  std::unique_ptr<app::DataFolderLock> lock = app::lockDataFolder(
      60000, [] { std::fputs("flingpost: waiting for another Flingpost using this folder (up to 60 s)\n", stderr); },
      &problem);
  if (!lock) std::fprintf(stderr, "flingpost: %s\n", problem.c_str());
  return lock;
}

}  // namespace

int run(int argc, char** argv) {
  Options o;
  const int bad = parse(argc, argv, o);
  if (bad >= 0) return bad;
  if (o.help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (o.version) {
    std::fputs(kVersion, stdout);
    return kExitOk;
  }

  ConsoleSettings settings;
  settings.assumeYes = o.yes;
  settings.progressBar = platform::isTerminal(platform::Stream::kErr);
  auto desktop = std::make_shared<ConsoleDesktop>(settings);
  app::ServiceEndpoint service;
  std::string problem;
  if (!app::chooseServiceEndpoint(o.service.empty() ? nullptr : &o.service, &service, &problem))
    return usageError(problem);
  // Held before the state empties the link-code cache, until the program ends.
  const std::unique_ptr<app::DataFolderLock> folderLock = waitForDataFolder();
  if (!folderLock) return kExitFailed;
  app::AppState state(desktop);
  state.service = service;

  if (!shell::startProgram(state)) return desktop->exitCode();
  if (o.command.empty()) return runInteractive(state, *desktop);
  if (o.command == "login") {
    if (!signInFromFlags(state, o)) return kExitFailed;
    printAlbums(state, o.json);
    return kExitOk;
  }
  if (o.command == "albums") {
    if (!state.signedIn) {
      desktop->note("flingpost: not signed in; run \"flingpost login --user NAME --remember\" first\n");
      return kExitFailed;
    }
    printAlbums(state, o.json);
    return kExitOk;
  }
  return runUpload(state, *desktop, o);
}

}  // namespace console
