#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/terminal.h"

extern char** environ;

namespace platform {
namespace {

volatile sig_atomic_t g_interrupted = 0;
struct sigaction g_previous;

void onInterrupt(int) { g_interrupted = 1; }

}  // namespace

void catchInterrupts(bool on) {
  if (on) {
    struct sigaction sa{};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &g_previous);
  } else {
    ::sigaction(SIGINT, &g_previous, nullptr);
  }
}

bool interruptRequested() { return g_interrupted != 0; }
void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }
void clearInterrupt() { g_interrupted = 0; }

bool isTerminal(Stream stream) {
  const int fd = stream == Stream::kIn ? STDIN_FILENO : stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

bool readSecretLine(std::string& line) {
  termios saved{};
  const bool tty = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (tty) {
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  const bool ok = static_cast<bool>(std::getline(std::cin, line));
  if (tty) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  if (ok && !line.empty() && line.back() == '\r') line.pop_back();
  return ok;
}

bool openInBrowser(const std::string& address) {
  pid_t pid = 0;
  const char* argv[] = {"xdg-open", address.c_str(), nullptr};
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
