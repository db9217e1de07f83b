#include "shell/console/command_line.h"

#include <cstdio>

#include "app/version.h"
#include "platform/terminal.h"
#include "shell/console/plain_text.h"

namespace console {
namespace {

// The component's idle limit cannot be set longer than this.
constexpr int kLongestTimeoutSeconds = 5000;

// Options that only an upload uses; given to another command they are a mistake.
const char* const kUploadOnly[] = {"--album", "--thumb", "--yes", "--timeout", "--files-from", "--verbose"};

// The long name of a short option, or the option itself.
std::string longName(const std::string& a) {
  if (a == "-h") return "--help";
  if (a == "-y") return "--yes";
  if (a == "-v") return "--verbose";
  if (a == "-q") return "--quiet";
  return a;
}

// A decimal number of at most 9 digits, or -1.
int smallNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

// Checks what the options ask of standard input and of each other.
int checkCombinations(const Options& o, const std::string& uploadOption) {
  if (!uploadOption.empty() && o.command != "upload") return usageError(uploadOption + " is an option of upload");
  if (o.command.empty() || o.command == "albums") {
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return -1;
  }
  if (o.command == "logout") {
    if (!o.user.empty() || o.passwordStdin || o.remember || o.json)
      return usageError("logout takes none of --user, --password-stdin, --remember, --json");
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return -1;
  }
  if (o.command == "login") {
    if (o.user.empty()) return usageError("login needs --user NAME");
    if (!o.files.empty()) return usageError("unexpected argument " + o.files.front());
    return -1;
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
  return -1;
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

int usageError(const std::string& message) {
  std::fprintf(stderr, "flingpost: %s\nTry 'flingpost --help'.\n", plainText(message).c_str());
  return 2;
}

int parseCommandLine(int argc, char** argv, Options& o) {
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
    std::string inlineValue;
    bool hasInlineValue = false;
    const size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      inlineValue = a.substr(eq + 1);
      hasInlineValue = true;
      a.erase(eq);
    }
    a = longName(a);
    for (const char* name : kUploadOnly)
      if (a == name && uploadOption.empty()) uploadOption = a;
    auto value = [&](std::string& into) -> bool {
      if (hasInlineValue) {
        into = inlineValue;
        hasInlineValue = false;
        return true;
      }
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (a == "--data-dir") {
      if (!value(o.dataDir) || o.dataDir.empty()) return usageError("--data-dir needs DIR");
    } else if (a == "--service") {
      if (!value(o.service)) return usageError("--service needs [https://]HOST[:PORT]");
    } else if (a == "--cacert") {
      if (!value(o.caFile) || o.caFile.empty()) return usageError("--cacert needs FILE");
    } else if (a == "--proxy" || a == "--noproxy") {
      o.proxyGiven = true;
      if (a == "--proxy" && !value(o.proxy)) return usageError("--proxy needs URL, or '' for none");
    } else if (a == "--user") {
      if (!value(o.user) || o.user.empty()) return usageError("--user needs a name");
    } else if (a == "--album") {
      if (!value(o.album) || o.album.empty()) return usageError("--album needs a key");
    } else if (a == "--files-from") {
      if (!value(o.filesFrom) || o.filesFrom.empty()) return usageError("--files-from needs FILE, or - for standard input");
    } else if (a == "--thumb") {
      std::string t;
      o.thumb = value(t) ? smallNumber(t) : -1;
      if (o.thumb != 100 && o.thumb != 200 && o.thumb != 300 && o.thumb != 400)
        return usageError("--thumb takes 100, 200, 300 or 400");
    } else if (a == "--timeout") {
      std::string t;
      o.timeoutSeconds = value(t) ? smallNumber(t) : -1;
      if (o.timeoutSeconds < 1 || o.timeoutSeconds > kLongestTimeoutSeconds)
        return usageError("--timeout takes whole seconds from 1 to " + std::to_string(kLongestTimeoutSeconds));
    } else if (a == "--password") {
      return usageError("the password is never taken from the command line; see --password-stdin");
    } else {
      bool* flag = a == "--help" ? &o.help : a == "--version" ? &o.version : a == "--password-stdin" ? &o.passwordStdin
                 : a == "--remember" ? &o.remember : a == "--yes" ? &o.yes : a == "--json" ? &o.json
                 : a == "--verbose" ? &o.verbose : a == "--quiet" ? &o.quiet : nullptr;
      if (!flag) return usageError(std::string("unknown option ") + argv[i]);
      *flag = true;
    }
    if (hasInlineValue) return usageError(a + " takes no value");
  }
  if (o.help || o.version) return -1;
  return checkCombinations(o, uploadOption);
}

}  // namespace console
