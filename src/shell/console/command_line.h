#pragma once
// The console program's command line: its options, the usage text, and the
// checks that need nothing but the command line and the terminal.
#include <string>
#include <vector>

namespace console {

struct Options {
  std::string command;  // "login", "albums", "upload", "logout", or empty for the session
  std::string dataDir;  // --data-dir
  std::string service;
  std::string caFile;  // --cacert
  std::string proxy;   // --proxy; "" with proxyGiven for --noproxy
  bool proxyGiven = false;
  std::string user;
  std::string album;
  std::string filesFrom;  // --files-from: a list file, or "-" for standard input
  int thumb = 0;
  int timeoutSeconds = 0;
  bool passwordStdin = false;
  bool remember = false;
  bool yes = false;
  bool json = false;
  bool verbose = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> files;  // named on the command line
};

extern const char kUsage[];
extern const char kVersion[];

// Prints "flingpost: " + message and the hint to --help on standard error (two
// lines at most) and answers false: the command line is refused, and the
// program ends with kExitUsage.
bool usageError(const std::string& message);

// Reads the command line into `o`; false after the usage error.
bool parseCommandLine(int argc, char** argv, Options& o);

}  // namespace console
