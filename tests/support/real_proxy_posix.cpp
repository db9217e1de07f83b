#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/clock.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/real_proxy.h"
#include "support/temp_dir.h"

namespace testsupport {

RealProxy::RealProxy() {
  static TempDir dir;  // for every proxy of the process
  whyNot_ = "tinyproxy is not installed: scripts/setup installs it";
  // The port was free a moment ago; should another process take it first,
  // the proxy ends, and is started again on another.
  for (int attempt = 0; attempt < 3 && !port_ && access("/usr/bin/tinyproxy", X_OK) == 0; ++attempt) {
    const uint16_t port = closedLoopbackPort();
    dir_ = dir.file("proxy-" + std::to_string(port));
    std::ofstream(dir_ + ".conf") << (geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "") << "Port " << port
                                  << "\nListen 127.0.0.1\nTimeout 30\nLogLevel Info\nBasicAuth " << kUser
                                  << " s3cret\n";
    const pid_t pid = fork();
    if (pid == 0) {
      // A caller that holds signals back (the TLS front does) must not make
      // the proxy deaf to the end of the test.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      // It logs to standard output in the foreground.
      if (freopen((dir_ + ".log").c_str(), "w", stdout) && dup2(STDOUT_FILENO, STDERR_FILENO) >= 0) {
        execl("/usr/bin/tinyproxy", "tinyproxy", "-d", "-c", (dir_ + ".conf").c_str(), static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    pid_ = pid;
    for (int i = 0; i < 100 && !port_ && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
      platform::sleepMs(50);
      if (log().find("Starting main loop") != std::string::npos) port_ = port;
    }
    if (port_) break;
    whyNot_ = "tinyproxy did not start: " + log();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid_ = 0;
  }
}

RealProxy::~RealProxy() {
  if (pid_ > 0) kill(pid_t(pid_), SIGTERM);
  if (pid_ > 0) waitpid(pid_t(pid_), nullptr, 0);
}

std::string RealProxy::log() const { return readFileBytes(dir_ + ".log"); }

SystemProxyScope::SystemProxyScope(const std::string& proxy, const std::string& bypass) {
  setenv("https_proxy", ("http://" + proxy).c_str(), 1);
  setenv("HTTP_PROXY", proxy.c_str(), 1);  // the upper case is read too
  setenv("no_proxy", bypass.c_str(), 1);
}

SystemProxyScope::~SystemProxyScope() {
  for (const char* name : {"https_proxy", "HTTP_PROXY", "no_proxy"}) unsetenv(name);
}

}  // namespace testsupport
