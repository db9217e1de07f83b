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

using Words = std::vector<std::string>;

struct Session {
  app::AppState& state;
  ConsoleDesktop& desktop;
};

// The commands' own steps. Each takes the command line's words and answers
// false when the words after the command are wrong.

bool copyToClipboard(Session& s, const Words&) {
  const std::string& text = s.desktop.lastViewerText();
  if (text.empty()) {
    s.desktop.note("Nothing to copy: view the HTML or BBCode codes first.\n");
    return true;
  }
  // Terminals that support it put OSC 52 text on the system clipboard; the
  // whole text is sent, however long.
  if (platform::isTerminal(platform::Stream::kOut)) {
    std::printf("\x1b]52;c;%s\x07", app::base64(text).c_str());
    std::fflush(stdout);
  }
  s.desktop.note("Copied " + std::to_string(text.size()) + " characters.\n");
  return true;
}

// The list index of the album with key `key`; -1, after saying so, when none has it.
int albumByKey(ConsoleDesktop& desktop, const std::string& key) {
  const int index = desktop.consoleList().findKey(key);
  if (index < 0) desktop.note("No album has the key " + plainText(key) + "; type \"albums\" to list them.\n");
  return index;
}

// "drop KEY FILE...".
bool drop(Session& s, const Words& w) {
  const int index = albumByKey(s.desktop, w[1]);
  if (index < 0) return true;
  Words files(w.begin() + 2, w.end());
  const Words bad = unusableFiles(files);
  for (const std::string& line : bad) s.desktop.note(plainText(line) + "\n");
  if (!bad.empty()) {
    s.desktop.note("Nothing was sent.\n");
    return true;
  }
  ConsoleDrop dropped(index, std::move(files));
  InterruptGuard guard;
  upload::uploadDroppedFiles(s.state, dropped);
  return true;
}

// "open KEY": the album's page, as a double click on it in the window.
bool openAlbum(Session& s, const Words& w) {
  const int index = albumByKey(s.desktop, w[1]);
  if (index < 0) return true;
  s.desktop.consoleList().select(index);
  shell::runCommand(s.state, shell::kCommandAlbumList, shell::kListDoubleClick);
  return true;
}

bool showOptions(Session& s, const Words&) {
  const app::AppState& state = s.state;
  s.desktop.note("thumbnail size " + std::to_string(state.thumbnailSize) + ", prompt " +
                 (state.promptBeforeUpload ? "on" : "off") + ", " +
                 (state.signedIn ? "signed in as " + plainText(state.login.username) : std::string("signed out")) +
                 "\n");
  return true;
}

bool listAlbums(Session& s, const Words&) {
  s.desktop.clearBar();
  printAlbums(s.state.albumList(), false);
  std::fflush(stdout);
  return true;
}

// "thumb SIZE", the size as the menu names it.
bool chooseThumbnail(Session& s, const Words& w) {
  for (const shell::ThumbnailChoice& choice : shell::kThumbnailChoices) {
    if (w[1] != std::to_string(choice.size)) continue;
    shell::runCommand(s.state, choice.commandId);
    return true;
  }
  return false;
}

// "prompt on|off".
bool setPrompt(Session& s, const Words& w) {
  if (w[1] != "on" && w[1] != "off") return false;
  if (s.state.promptBeforeUpload != (w[1] == "on")) shell::runCommand(s.state, shell::kCommandDisablePrompt);
  return true;
}

bool endSession(Session& s, const Words&) {
  s.desktop.endProgram(kExitOk);
  return true;
}

bool showHelp(Session& s, const Words&);

// One command of the session: its names, the words it takes, its line of help
// and what it does. The help, the answer to a wrong use and the dispatch all
// read the one table below.
struct Command {
  const char* name;
  const char* alias;     // another name for it, or null
  size_t fewest, most;   // how many words may follow it
  std::string takes;     // what they are, for a wrong use; "": no arguments
  std::string synopsis;  // the start of its help line; "": it shares the line before
  std::string does;      // the rest of that line; "\n" goes on below
  int menuCommand;       // the window's command that it is, or 0 for `run`
  bool (*run)(Session& s, const Words& w);
};

constexpr size_t kAnyNumber = size_t(-1);

// Built on first use: the thumbnail sizes come from the shell's table.
const std::vector<Command>& commands() {
  using namespace shell;
  static const std::vector<Command> kCommands = {
      {"login", nullptr, 0, 0, "", "login", "sign in (File, Login)", kCommandLogin, nullptr},
      {"albums", nullptr, 0, 0, "", "albums", "list the albums: key, name, description", 0, listAlbums},
      {"drop", nullptr, 2, kAnyNumber, "an album key and one or more files (drop KEY FILE...)", "drop KEY FILE...",
       "upload files into an album; quote names with\nblanks: drop 11 \"two words.jpg\"", 0, drop},
      {"thumb", nullptr, 1, 1, thumbnailSizes(), "thumb " + thumbnailSizes("|", "|"), "thumbnail size", 0,
       chooseThumbnail},
      {"prompt", nullptr, 1, 1, "on or off", "prompt on|off", "ask before each upload", 0, setPrompt},
      {"options", nullptr, 0, 0, "", "options", "show the options", 0, showOptions},
      {"html", nullptr, 0, 0, "", "html | bbcode", "view the link codes", kCommandViewHtml, nullptr},
      {"bbcode", nullptr, 0, 0, "", "", "", kCommandViewBbcode, nullptr},
      {"copy", nullptr, 0, 0, "", "copy", "copy the codes last viewed to the clipboard", 0, copyToClipboard},
      {"clear", nullptr, 0, 0, "", "clear", "clear the link-code cache", kCommandClearCache, nullptr},
      {"open", nullptr, 1, 1, "an album key (open KEY)", "open KEY", "open an album's page in the browser", 0,
       openAlbum},
      {"about", nullptr, 0, 0, "", "about | help | exit", "", kCommandAbout, nullptr},
      {"help", "?", 0, kAnyNumber, "", "", "", 0, showHelp},
      {"exit", "quit", 0, kAnyNumber, "", "", "", 0, endSession},
  };
  return kCommands;
}

const Command* findCommand(const std::string& word) {
  for (const Command& c : commands())
    if (word == c.name || (c.alias && word == c.alias)) return &c;
  return nullptr;
}

bool showHelp(Session& s, const Words&) {
  constexpr size_t kColumn = 27;  // where the help texts start, after the indent
  std::string text = "commands (an album is named by its key, as \"albums\" lists it):\n";
  for (const Command& c : commands()) {
    if (c.synopsis.empty()) continue;
    std::string line = "  " + c.synopsis;
    if (!c.does.empty()) line += std::string(kColumn - c.synopsis.size(), ' ') + c.does;
    for (size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at + 1))
      line.insert(at + 1, std::string(kColumn + 2, ' '));
    text += line + "\n";
  }
  s.desktop.note(text);
  return true;
}

// Runs one command line's words; false for a command it does not know, or one
// used wrongly (the caller then says how to use it).
bool runCommand(Session& s, const Words& w) {
  const Command* c = findCommand(w[0]);
  if (!c || w.size() - 1 < c->fewest || w.size() - 1 > c->most) return false;
  if (!c->run) {
    shell::runCommand(s.state, c->menuCommand);
    return true;
  }
  return c->run(s, w);
}

// What a command line that runCommand refused should have been.
std::string howToUse(const Words& w) {
  const Command* c = findCommand(w[0]);
  if (!c) return "Unknown command " + w[0] + "; type \"help\".";
  return w[0] + " takes " + (c->takes.empty() ? std::string("no arguments") : c->takes) + ".";
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
  Session session{state, desktop};
  std::string line;
  Words w;
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
    if (!runCommand(session, w)) {
      desktop.note(howToUse(w) + "\n");
      continue;
    }
    // SIGTERM and SIGHUP stop a running upload and then the session.
    const platform::Interrupt stop = platform::interruptRequested();
    if (stop == platform::Interrupt::kTerminate || stop == platform::Interrupt::kHangUp) return stoppedStatus();
  }
  return kExitOk;
}

}  // namespace console
