#pragma once
// A loopback service for tests that must answer several requests at once (the
// version check and the sign-in at start): each connection is served on a thread
// of its own, by the first route whose prefix starts the request target (the
// path and query of the request line).
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace testsupport {

class RoutedService {
 public:
  struct Route {
    std::string targetPrefix;  // e.g. "/versioncheckxml.php"
    std::string reply;       // raw reply bytes
    uint32_t delayMs = 0;    // wait before replying
    bool keepOpen = false;   // after the reply, wait for the client to close
  };

  explicit RoutedService(std::vector<Route> routes);
  ~RoutedService();
  RoutedService(const RoutedService&) = delete;
  RoutedService& operator=(const RoutedService&) = delete;

  uint16_t port() const { return port_; }
  // The request targets in the order the requests arrived.
  std::vector<std::string> targets() const;

 private:
  void acceptLoop();
  void serve(platform::SocketHandle s);
  // Sleeps up to `ms` in short slices; false when the service is stopping.
  bool nap(uint32_t ms) const;

  std::vector<Route> routes_;
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace testsupport
