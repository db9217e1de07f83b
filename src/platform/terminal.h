#pragma once
// The console front-end's terminal and process: its standard streams, the echo
// of typed secrets, the browser, and the signals that stop an upload.
#include <string>

namespace platform {

enum class Stream { kIn, kOut, kErr };

bool isTerminal(Stream stream);

// Makes sure the three standard streams are open, before the program opens
// any file: a stream that the parent closed (">&-") would otherwise be the next
// file opened, and what is written to the stream would land in that file. A
// closed one is opened on the null device the wrong way round (input for
// writing, output and error for reading), so that using it fails as it would
// have failed closed. False when that cannot be done.
bool openStandardStreams();

// Switches the echo of a terminal on standard input off while a secret is
// typed; false (and nothing changed) when standard input is no terminal.
// showTyping() puts back what hideTyping() found.
bool hideTyping();
void showTyping();

// Asks the system to open an address in the user's web browser; false when no
// browser could be started.
bool openInBrowser(const std::string& address);

// What asked a running upload to stop: Ctrl-C (SIGINT, or the console's break
// event), a request to terminate (SIGTERM) or a hang-up (SIGHUP).
enum class Interrupt { kNone, kCtrlC, kTerminate, kHangUp };

// While catching is on, those requests only record themselves (the first one
// counts) for interruptRequested(), instead of ending the program. A signal
// that the program was started with ignored stays ignored: a script's
// background job ignores Ctrl-C, and nohup ignores the hang-up.
void catchInterrupts(bool on);
Interrupt interruptRequested();
void clearInterrupt();

// From now on a write to a pipe whose reader has gone fails with an error,
// instead of ending the process (POSIX's SIGPIPE; Windows has no such signal).
void ignoreBrokenPipe();

}  // namespace platform
