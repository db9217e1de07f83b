// The TLS front and the proxy for the Windows tests under Wine, which cannot
// make their own: prints TlsFront::describe() on its first line and the
// proxy's address on its second, then serves (and runs the
// service stand-in behind kService) until it is sent SIGTERM or SIGINT, for an
// hour at most.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "support/real_proxy.h"
#include "support/tls_front.h"

int main() {
  // Held back on every thread, so that the wait below takes them and the
  // front's folder is removed on the way out.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  testsupport::TlsFront front;
  if (!front.ready()) {
    std::fprintf(stderr, "tls_front: %s\n", front.whyNot().c_str());
    return 1;
  }
  // The Windows tests' proxy too, named on the second line.
  testsupport::RealProxy proxy;
  if (!proxy.ready()) std::fprintf(stderr, "tls_front: %s\n", proxy.whyNot().c_str());
  std::printf("%s\n%s\n", front.describe().c_str(), proxy.ready() ? proxy.address().c_str() : "");
  std::fflush(stdout);
  // The stand-in's processes ending interrupt the wait.
  const time_t end = time(nullptr) + 3600;
  for (timespec left{3600, 0}; sigtimedwait(&stop, nullptr, &left) < 0 && errno == EINTR && time(nullptr) < end;) {
    left.tv_sec = end - time(nullptr);
  }
  return 0;
}
