#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/terminal.h"

extern char** environ;

namespace platform {
namespace {

volatile sig_atomic_t g_interrupted = 0;  // the first signal caught, or 0

const struct {
  int signal;
  Interrupt kind;
} kCaught[] = {{SIGINT, Interrupt::kCtrlC}, {SIGTERM, Interrupt::kTerminate}, {SIGHUP, Interrupt::kHangUp}};
struct sigaction g_previous[3];
bool g_replaced[3];

void onInterrupt(int signal) {
  if (g_interrupted == 0) g_interrupted = signal;
}

termios g_typing;
bool g_typingHidden = false;

}  // namespace

void catchInterrupts(bool on) {
  for (size_t i = 0; i < 3; ++i) {
    if (!on) {
      if (g_replaced[i]) ::sigaction(kCaught[i].signal, &g_previous[i], nullptr);
      g_replaced[i] = false;
      continue;
    }
    ::sigaction(kCaught[i].signal, nullptr, &g_previous[i]);
    g_replaced[i] = g_previous[i].sa_handler != SIG_IGN;
    if (!g_replaced[i]) continue;
    struct sigaction sa{};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(kCaught[i].signal, &sa, nullptr);
  }
}

Interrupt interruptRequested() {
  const int signal = g_interrupted;
  for (const auto& c : kCaught)
    if (c.signal == signal) return c.kind;
  return Interrupt::kNone;
}

void ignoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }
void clearInterrupt() { g_interrupted = 0; }

bool openStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one: the ones below it are open.
    const int opened = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);
    if (opened != fd) return false;
  }
  return true;
}

bool isTerminal(Stream stream) {
  const int fd = stream == Stream::kIn ? STDIN_FILENO : stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

bool hideTyping() {
  if (::tcgetattr(STDIN_FILENO, &g_typing) != 0) return false;
  termios quiet = g_typing;
  quiet.c_lflag &= ~tcflag_t(ECHO);
  g_typingHidden = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  return g_typingHidden;
}

void showTyping() {
  if (g_typingHidden) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_typing);
  g_typingHidden = false;
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
