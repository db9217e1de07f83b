#include "php_server.h"

#include "platform/clock.h"
#include "platform/sockets.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace httptest {

#ifdef _WIN32

PhpServer::PhpServer(const std::string&) {}
PhpServer::~PhpServer() = default;
void PhpServer::stop() {}

#else

namespace {

constexpr int kReadyPolls = 100;  // 100 x 50 ms: PHP starts in well under a second
constexpr uint32_t kPollMs = 50;

bool accepting(uint16_t port) {
  platform::SocketHandle s = platform::openStreamSocket();
  if (s == platform::kInvalidSocket) return false;
  uint32_t loopback = 0;
  platform::parseDottedIPv4("127.0.0.1", &loopback);
  const bool ok = platform::connectIPv4(s, loopback, port) == 0;
  platform::closeSocketHandle(s);
  return ok;
}

}  // namespace

extern "C" char** environ;

PhpServer::PhpServer(const std::string& documentRoot) {
  // A port that was free a moment ago; PHP binds it right away.
  uint16_t port = 0;
  const platform::SocketHandle probe = platform::listenLoopback(&port, 1);
  if (probe == platform::kInvalidSocket) return;
  platform::closeSocketHandle(probe);

  const std::string address = "127.0.0.1:" + std::to_string(port);
  const char* argv[] = {"php", "-n", "-d", "upload_max_filesize=64M", "-d", "post_max_size=64M",
                        "-d", "memory_limit=256M", "-S", address.c_str(), "-t", documentRoot.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The server logs every request on its error output; the test does not need it.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "php", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return;
  process_ = pid;

  for (int i = 0; i < kReadyPolls; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {  // it ended: php is missing or failed
      process_ = 0;
      return;
    }
    if (accepting(port)) {
      port_ = port;
      return;
    }
    platform::sleepMs(kPollMs);
  }
  stop();
}

PhpServer::~PhpServer() { stop(); }

void PhpServer::stop() {
  if (!process_) return;
  const pid_t pid = pid_t(process_);
  kill(pid, SIGTERM);
  for (int i = 0; i < 40; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      process_ = 0;
      return;
    }
    platform::sleepMs(kPollMs);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  process_ = 0;
}

#endif

}  // namespace httptest
