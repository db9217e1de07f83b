#include "shell/console/command_line.h"

#include <cstdio>
#include <vector>

#include "app/version.h"
#include "platform/terminal.h"
#include "shell/commands.h"
#include "shell/console/plain_text.h"

namespace console {
namespace {

// The component's idle limit cannot be set longer than this.
constexpr int kLongestTimeoutSeconds = 5000;

// A decimal number of at most 9 digits, or -1.
int smallNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

// The takers of values and flags below: each stores, and answers whether the
// value is one the option takes.
bool store(std::string& field, const std::string& value) {
  field = value;
  return true;
}
bool filled(std::string& field, const std::string& value) { return store(field, value) && !value.empty(); }
bool within(int value, int low, int high) { return value >= low && value <= high; }
bool set(bool& flag) { return flag = true; }

// One option: its names, whether a value follows it, and what it does with
// that value. The options of an upload alone are a mistake with any other
// command.
struct OptionRow {
  const char* name;
  const char* shortName;  // or null
  bool takesValue;
  bool uploadOnly;
  std::string refusal;    // what a missing or refused value says
  // Stores the option (with its value) in `o`; false when the value is refused.
  bool (*take)(Options& o, const std::string& value);
};

// Built on first use: the thumbnail sizes come from the shell's table.
const std::vector<OptionRow>& options() {
  using O = Options;
  using V = const std::string&;
  static const std::vector<OptionRow> kOptions = {
      {"--data-dir", nullptr, true, false, "--data-dir needs DIR", [](O& o, V v) { return filled(o.dataDir, v); }},
      {"--service", nullptr, true, false, "--service needs [https://]HOST[:PORT]",
       [](O& o, V v) { return store(o.service, v); }},
      {"--cacert", nullptr, true, false, "--cacert needs FILE", [](O& o, V v) { return filled(o.caFile, v); }},
      {"--proxy", nullptr, true, false, "--proxy needs URL, or '' for none",
       [](O& o, V v) { return store(o.proxy, v) && set(o.proxyGiven); }},
      {"--noproxy", nullptr, false, false, "", [](O& o, V) { return set(o.proxyGiven); }},
      {"--user", nullptr, true, false, "--user needs a name", [](O& o, V v) { return filled(o.user, v); }},
      {"--album", nullptr, true, true, "--album needs a key", [](O& o, V v) { return filled(o.album, v); }},
      {"--files-from", nullptr, true, true, "--files-from needs FILE, or - for standard input",
       [](O& o, V v) { return filled(o.filesFrom, v); }},
      {"--thumb", nullptr, true, true, "--thumb takes " + shell::thumbnailSizes(),
       [](O& o, V v) { return shell::thumbnailCommand(o.thumb = smallNumber(v)) != 0; }},
      {"--timeout", nullptr, true, true,
       "--timeout takes whole seconds from 1 to " + std::to_string(kLongestTimeoutSeconds),
       [](O& o, V v) { return within(o.timeoutSeconds = smallNumber(v), 1, kLongestTimeoutSeconds); }},
      {"--password", nullptr, false, false,
       "the password is never taken from the command line; see --password-stdin", [](O&, V) { return false; }},
      {"--help", "-h", false, false, "", [](O& o, V) { return set(o.help); }},
      {"--version", nullptr, false, false, "", [](O& o, V) { return set(o.version); }},
      {"--password-stdin", nullptr, false, false, "", [](O& o, V) { return set(o.passwordStdin); }},
      {"--remember", nullptr, false, false, "", [](O& o, V) { return set(o.remember); }},
      {"--yes", "-y", false, true, "", [](O& o, V) { return set(o.yes); }},
      {"--json", nullptr, false, false, "", [](O& o, V) { return set(o.json); }},
      {"--verbose", "-v", false, true, "", [](O& o, V) { return set(o.verbose); }},
      {"--quiet", "-q", false, false, "", [](O& o, V) { return set(o.quiet); }},
  };
  return kOptions;
}

const OptionRow* findOption(const std::string& word) {
  for (const OptionRow& row : options())
    if (word == row.name || (row.shortName && word == row.shortName)) return &row;
  return nullptr;
}

// Checks what the options ask of standard input and of each other.
bool checkCombinations(const Options& o, const std::string& uploadOption) {
  if (!uploadOption.empty() && o.command != "upload") return usageError(uploadOption + " is an option of upload");
  if (o.command.empty() || o.command == "albums") {
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return true;
  }
  if (o.command == "logout") {
    if (!o.user.empty() || o.passwordStdin || o.remember || o.json)
      return usageError("logout takes none of --user, --password-stdin, --remember, --json");
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return true;
  }
  if (o.command == "login") {
    if (o.user.empty()) return usageError("login needs --user NAME");
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return true;
  }
  if (o.command != "upload") return usageError("unknown command " + o.command);
  if (o.album.empty()) return usageError("upload needs --album KEY");
  if (o.files.empty() && o.filesFrom.empty()) return usageError("upload needs at least one FILE or --files-from");
  const bool stdinIsTerminal = platform::isTerminal(platform::Stream::kIn);
  if (o.filesFrom == "-" && !o.user.empty())
    return usageError("standard input cannot carry both the password and the list of files");
  if (!o.user.empty() && !o.passwordStdin && !stdinIsTerminal)
    return usageError("--user without a terminal needs --password-stdin");
  if (!o.yes && (!stdinIsTerminal || o.filesFrom == "-"))
    return usageError("upload asks before sending and nobody can answer on standard input: pass --yes");
  return true;
}

}  // namespace

const char kUsage[] =
    "usage: flingpost [OPTIONS] [COMMAND [OPTIONS] [--] [FILE...]]\n"
    "Without a command, flingpost starts an interactive session (type \"help\").\n"
    "\n"
    "  login --user NAME [--password-stdin] [--remember]\n"
    "      sign in and print the albums: key, tab, name, tab, description\n"
    "  albums\n"
    "      sign in with the saved sign-in and print the albums\n"
    "  logout\n"
    "      forget the saved sign-in\n"
    "  upload --album KEY [OPTIONS] [--] FILE...\n"
    "      upload the files into the album KEY, then print the HTML codes one per\n"
    "      line, an empty line, and the BBCodes one per line\n"
    "\n"
    "  --data-dir DIR          keep the files in DIR (else FLINGPOST_DATA_DIR, else\n"
    "                          ~/.local/state/flingpost, or under XDG_STATE_HOME)\n"
    "  --service [https://]HOST[:PORT]\n"
    "                          the service (else KESTROVA_SERVICE, else kestrova.com)\n"
    "  --cacert FILE           trust only the certificates in the PEM file FILE for\n"
    "                          https (else KESTROVA_CA_FILE, else the system's)\n"
    "  --proxy URL             go through the HTTP proxy http://[USER:PASSWORD@]HOST[:PORT]\n"
    "                          (else KESTROVA_PROXY, else https_proxy, http_proxy and\n"
    "                          no_proxy, which loopback addresses bypass)\n"
    "  --noproxy               connect directly (the same as --proxy '')\n"
    "  --user NAME             sign in as NAME instead of with the saved sign-in\n"
    "  --password-stdin        read the password from standard input, not the terminal\n"
    "  --remember              save the sign-in for the next commands\n"
    "  --json                  print the results, or the failure, as one JSON object\n"
    "  -q, --quiet             print only results and errors\n"
    "  --album KEY             upload into the album KEY (\"flingpost albums\" lists them)\n"
    "  --thumb 100|200|300|400 thumbnail size (200 unless given)\n"
    "  -y, --yes               upload without asking (needed without a terminal)\n"
    "  --timeout SECONDS       fail a file when no byte moves for SECONDS (1..5000)\n"
    "  --files-from FILE       upload the files named in FILE, one per line (- reads\n"
    "                          standard input)\n"
    "  -v, --verbose           show the trail of each failed upload\n"
    "  --                      the arguments after it are files, even if they start with -\n"
    "  -h, --help              this text\n"
    "  --version               the program's version\n"
    "\n"
    "The password is never taken from the command line.\n"
    "Exit status: 0 done; 1 failed before any file; 2 usage error; 3 one or more\n"
    "files failed (also all of them); 130, 143, 129 stopped by Ctrl-C, SIGTERM, SIGHUP.\n";

const char kVersion[] = "flingpost " FLINGPOST_VERSION "\n";

bool usageError(const std::string& message) {
  std::fprintf(stderr, "flingpost: %s\nTry 'flingpost --help'.\n", plainText(message).c_str());
  return false;
}

bool parseCommandLine(int argc, char** argv, Options& o) {
  bool optionsEnded = false;
  std::string uploadOption;  // the first upload-only option given
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      if (o.command.empty()) o.command = a;
      else o.files.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    // --name=value is the same as --name value.
    const size_t eq = a.find('=');
    const bool inlineValue = a.compare(0, 2, "--") == 0 && eq != std::string::npos;
    const OptionRow* option = findOption(inlineValue ? a.substr(0, eq) : a);
    if (!option) return usageError(std::string("unknown option ") + argv[i]);
    if (option->uploadOnly && uploadOption.empty()) uploadOption = option->name;
    std::string value;
    if (option->takesValue) {
      if (!inlineValue && i + 1 >= argc) return usageError(option->refusal);
      value = inlineValue ? a.substr(eq + 1) : argv[++i];
    }
    if (!option->take(o, value)) return usageError(option->refusal);
    if (inlineValue && !option->takesValue) return usageError(std::string(option->name) + " takes no value");
  }
  if (o.help || o.version) return true;
  return checkCombinations(o, uploadOption);
}

}  // namespace console
