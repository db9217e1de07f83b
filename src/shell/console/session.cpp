#include "shell/console/session.h"

#include <cstdio>

#include "app/base64.h"
#include "app/version.h"
#include "platform/terminal.h"
#include "shell/commands.h"
#include "shell/console/console_app.h"
#include "shell/console/console_input.h"
#include "shell/console/plain_text.h"
#include "shell/console/results.h"
#include "shell/console/upload_files.h"

namespace console {
namespace {

const char kHelp[] =
    "commands (an album is named by its key, as \"albums\" lists it):\n"
    "  login                      sign in (File, Login)\n"
    "  albums                     list the albums: key, name, description\n"
    "  drop KEY FILE...           upload files into an album; quote names with\n"
    "                             blanks: drop 11 \"two words.jpg\"\n"
    "  thumb 100|200|300|400      thumbnail size\n"
    "  prompt on|off              ask before each upload\n"
    "  options                    show the options\n"
    "  html | bbcode              view the link codes\n"
    "  copy                       copy the codes last viewed to the clipboard\n"
    "  clear                      clear the link-code cache\n"
    "  open KEY                   open an album's page in the browser\n"
    "  about | help | exit\n";

// What each command takes, for the answer to a wrong use (null: nothing).
const struct {
  const char* command;
  const char* usage;
} kUsages[] = {
    {"drop", "an album key and one or more files (drop KEY FILE...)"},
    {"thumb", "100, 200, 300 or 400"},
    {"prompt", "on or off"},
    {"open", "an album key (open KEY)"},
    {"login", nullptr}, {"albums", nullptr}, {"options", nullptr}, {"html", nullptr},
    {"bbcode", nullptr}, {"copy", nullptr}, {"clear", nullptr}, {"about", nullptr},
};

void copyToClipboard(ConsoleDesktop& desktop) {
  const std::string& text = desktop.lastViewerText();
  if (text.empty()) {
    desktop.note("Nothing to copy: view the HTML or BBCode codes first.\n");
    return;
  }
  // Terminals that support it put OSC 52 text on the system clipboard; the
  // whole text is sent, however long.
  if (platform::isTerminal(platform::Stream::kOut)) {
    std::printf("\x1b]52;c;%s\x07", app::base64(text).c_str());
    std::fflush(stdout);
  }
  desktop.note("Copied " + std::to_string(text.size()) + " characters.\n");
}

// The list index of the album with key `key`; -1, after saying so, when none has it.
int albumByKey(ConsoleDesktop& desktop, const std::string& key) {
  const int index = desktop.consoleList().findKey(key);
  if (index < 0) desktop.note("No album has the key " + plainText(key) + "; type \"albums\" to list them.\n");
  return index;
}

void drop(app::AppState& state, ConsoleDesktop& desktop, const std::vector<std::string>& w) {
  const int index = albumByKey(desktop, w[1]);
  if (index < 0) return;
  std::vector<std::string> files(w.begin() + 2, w.end());
  const std::vector<std::string> bad = unusableFiles(files);
  for (const std::string& line : bad) desktop.note(plainText(line) + "\n");
  if (!bad.empty()) {
    desktop.note("Nothing was sent.\n");
    return;
  }
  ConsoleDrop dropped(index, std::move(files));
  InterruptGuard guard;
  upload::uploadDroppedFiles(state, dropped);
}

// Runs one command line's words; false for a command it does not know, or one
// used wrongly (the caller then says how to use it).
bool runCommand(app::AppState& state, ConsoleDesktop& desktop, const std::vector<std::string>& w) {
  const std::string& c = w[0];
  const size_t n = w.size();
  if (c == "help" || c == "?") desktop.note(kHelp);
  else if (c == "login" && n == 1) shell::runCommand(state, shell::kCommandLogin);
  else if (c == "albums" && n == 1) {
    const app::AlbumListView& list = state.albumList();
    desktop.clearBar();
    printAlbums(list, false);
    std::fflush(stdout);
  } else if (c == "drop" && n >= 3) drop(state, desktop, w);
  else if (c == "thumb" && n == 2 && (w[1] == "100" || w[1] == "200" || w[1] == "300" || w[1] == "400")) {
    shell::runCommand(state, shell::kCommandThumb100 + (std::stoi(w[1]) / 100 - 1));
  } else if (c == "prompt" && n == 2 && (w[1] == "on" || w[1] == "off")) {
    if (state.promptBeforeUpload != (w[1] == "on")) shell::runCommand(state, shell::kCommandDisablePrompt);
  } else if (c == "options" && n == 1) {
    desktop.note("thumbnail size " + std::to_string(state.thumbnailSize) + ", prompt " +
                 (state.promptBeforeUpload ? "on" : "off") + ", " +
                 (state.signedIn ? "signed in as " + plainText(state.login.username) : std::string("signed out")) +
                 "\n");
  } else if (c == "html" && n == 1) shell::runCommand(state, shell::kCommandViewHtml);
  else if (c == "bbcode" && n == 1) shell::runCommand(state, shell::kCommandViewBbcode);
  else if (c == "copy" && n == 1) copyToClipboard(desktop);
  else if (c == "clear" && n == 1) shell::runCommand(state, shell::kCommandClearCache);
  else if (c == "open" && n == 2) {
    const int index = albumByKey(desktop, w[1]);
    if (index < 0) return true;
    desktop.consoleList().select(index);
    shell::runCommand(state, shell::kCommandAlbumList, shell::kListDoubleClick);
  } else if (c == "about" && n == 1) shell::runCommand(state, shell::kCommandAbout);
  else return false;
  return true;
}

}  // namespace

bool splitWords(const std::string& line, std::vector<std::string>* words) {
  words->clear();
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0;
      else word += c;
    } else if (quote == '"') {
      if (c == '"') quote = 0;
      else if (c == '\\' && i + 1 < line.size() && std::string("\"\\$`").find(line[i + 1]) != std::string::npos)
        word += line[++i];
      else word += c;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words->push_back(word);
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'' || c == '"') quote = c;
      else if (c == '\\' && i + 1 < line.size()) word += line[++i];
      else word += c;
    }
  }
  if (inWord) words->push_back(word);
  return quote == 0;
}

int runSession(app::AppState& state, ConsoleDesktop& desktop) {
  desktop.note("Kestrova Flingpost Uploader v" FLINGPOST_VERSION " (beta). Type \"help\" for the commands.\n");
  std::string line;
  std::vector<std::string> w;
  while (!desktop.endRequested()) {
    desktop.note("> ");
    const LineRead read = readInputLine(line);
    if (read != LineRead::kLine) {
      desktop.note("\n");  // the shell's prompt starts on a line of its own
      if (read == LineRead::kEnd) break;
      desktop.error("a line of input is longer than " + std::to_string(kLongestInputLine) + " bytes; the session ends");
      return kExitFailed;
    }
    if (!splitWords(line, &w)) {
      desktop.note("A quote is not closed; nothing was done.\n");
      continue;
    }
    if (w.empty()) continue;
    if (w[0] == "exit" || w[0] == "quit") break;
    if (runCommand(state, desktop, w)) {
      // SIGTERM and SIGHUP stop a running upload and then the session.
      const platform::Interrupt stop = platform::interruptRequested();
      if (stop == platform::Interrupt::kTerminate || stop == platform::Interrupt::kHangUp) return stoppedStatus();
      continue;
    }
    std::string answer = "Unknown command " + w[0] + "; type \"help\".";
    for (const auto& u : kUsages)
      if (w[0] == u.command) answer = w[0] + " takes " + (u.usage ? u.usage : "no arguments") + ".";
    desktop.note(answer + "\n");
  }
  return kExitOk;
}

}  // namespace console
