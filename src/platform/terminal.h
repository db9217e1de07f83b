#pragma once
// The console front-end's terminal: is a stream a terminal, and reading a secret
// line without echo.
#include <string>

namespace platform {

enum class Stream { kIn, kOut, kErr };

bool isTerminal(Stream stream);

// Reads one line from standard input with echo switched off when it is a
// terminal; the line end is not kept. False at the end of input.
bool readSecretLine(std::string& line);

// Asks the system to open an address in the user's web browser; false when no
// browser could be started.
bool openInBrowser(const std::string& address);

// While catching is on, Ctrl-C (SIGINT, or the console's break event) only sets
// a flag that interruptRequested() reports, instead of ending the program.
void catchInterrupts(bool on);
bool interruptRequested();
void clearInterrupt();

// From now on a write to a pipe whose reader has gone fails with an error,
// instead of ending the process (POSIX's SIGPIPE; Windows has no such signal).
void ignoreBrokenPipe();

}  // namespace platform
