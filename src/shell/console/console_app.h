#pragma once
// The console front-end's command line: an interactive session that mirrors the
// window's menu and drop, and one-shot forms for scripts.
namespace console {

// Exit codes of the one-shot forms.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;        // before any file: sign-in, service, data folder
constexpr int kExitUsage = 2;         // the command line, or files that cannot be uploaded
constexpr int kExitFilesFailed = 3;   // one or more files failed, also when all did
constexpr int kExitInterrupted = 130; // Ctrl-C stopped the upload
constexpr int kExitTerminated = 143;  // SIGTERM stopped it
constexpr int kExitHungUp = 129;      // SIGHUP stopped it

int run(int argc, char** argv);

}  // namespace console
