#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/real_proxy.h"
#include "support/temp_dir.h"

namespace testsupport {
namespace {

const char* const kVariables[] = {"https_proxy", "http_proxy", "no_proxy", "HTTPS_PROXY", "HTTP_PROXY",
                                  "NO_PROXY",    "all_proxy",  "ALL_PROXY"};

// True once something accepts connections on 127.0.0.1:port.
bool accepting(uint16_t port) {
  uint32_t loopback = 0;
  platform::parseDottedIPv4("127.0.0.1", &loopback);
  const platform::SocketHandle s = platform::openStreamSocket();
  const bool ok = platform::connectIPv4(s, loopback, port) == 0;
  platform::closeSocketHandle(s);
  return ok;
}

}  // namespace

RealProxy::RealProxy() {
  ensureSocketsStarted();
  static TempDir dir;  // for every proxy of the process; removed at its end
  if (access("/usr/bin/tinyproxy", X_OK) != 0) {
    whyNot_ = "tinyproxy is not installed: scripts/setup installs it";
    return;
  }
  // The port was free a moment ago; another process may take it first, so
  // the start is tried again on another one.
  for (int attempt = 0; attempt < 3 && !port_; ++attempt) {
    const uint16_t port = closedLoopbackPort();
    dir_ = dir.file("proxy-" + std::to_string(port));
    std::ofstream(dir_ + ".conf") << (geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "") << "Port " << port
                                  << "\nListen 127.0.0.1\nTimeout 30\nLogLevel Connect\nMaxClients 50\n"
                                  << "BasicAuth " << kUser << " " << kPassword << "\n";
    const pid_t pid = fork();
    if (pid == 0) {
      const std::string log = dir_ + ".log";
      if (!freopen(log.c_str(), "w", stderr) || !freopen(log.c_str(), "a", stdout)) _exit(127);
      execl("/usr/bin/tinyproxy", "tinyproxy", "-d", "-c", (dir_ + ".conf").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    pid_ = pid;
    for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
      if (accepting(port)) {
        port_ = port;
        break;
      }
      platform::sleepMs(50);
    }
    if (port_) break;
    whyNot_ = "tinyproxy did not start: " + readFileBytes(dir_ + ".log");
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid_ = 0;
  }
}

RealProxy::~RealProxy() {
  if (pid_ <= 0) return;
  kill(pid_t(pid_), SIGTERM);
  waitpid(pid_t(pid_), nullptr, 0);
}

std::string RealProxy::log() const { return readFileBytes(dir_ + ".log"); }

SystemProxyScope::SystemProxyScope(const std::string& proxy, const std::string& bypass) {
  for (const char* name : kVariables) unsetenv(name);
  setenv("https_proxy", ("http://" + proxy).c_str(), 1);
  setenv("HTTP_PROXY", proxy.c_str(), 1);  // the upper case is read too
  setenv("no_proxy", bypass.c_str(), 1);
}

SystemProxyScope::~SystemProxyScope() {
  for (const char* name : kVariables) unsetenv(name);
}

}  // namespace testsupport
