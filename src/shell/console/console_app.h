#pragma once
// The console front-end's command line: an interactive session that mirrors the
// window's menu and drop, and one-shot forms for scripts.
namespace console {

// Exit codes of the one-shot forms.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSomeFilesFailed = 3;

int run(int argc, char** argv);

}  // namespace console
