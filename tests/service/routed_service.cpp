#include "service/routed_service.h"

#include <cstdlib>

#include "platform/clock.h"
#include "support/loopback_peer.h"

namespace testsupport {

RoutedService::RoutedService(std::vector<Route> routes) : routes_(std::move(routes)) {
  ensureSocketsStarted();
  listener_ = platform::listenLoopback(&port_, 16);
  if (listener_ == platform::kInvalidSocket) std::abort();
  acceptor_ = std::thread([this] { acceptLoop(); });
}

RoutedService::~RoutedService() {
  stopping_ = true;
  acceptor_.join();
  for (std::thread& t : workers_) t.join();
  platform::closeSocketHandle(listener_);
}

std::vector<std::string> RoutedService::targets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return targets_;
}

bool RoutedService::nap(uint32_t ms) const {
  const uint32_t start = platform::tickCount();
  while (!stopping_ && platform::tickCount() - start < ms) platform::sleepMs(5);
  return !stopping_;
}

void RoutedService::acceptLoop() {
  while (!stopping_) {
    const platform::SocketHandle s = platform::acceptConnection(listener_, 20);
    if (s == platform::kInvalidSocket) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, s] { serve(s); });
  }
}

void RoutedService::serve(platform::SocketHandle s) {
  std::string request;
  char buffer[1024];
  const uint32_t start = platform::tickCount();
  while (request.find("\n\n") == std::string::npos && request.find("\r\n\r\n") == std::string::npos &&
         !stopping_ && platform::tickCount() - start < 5000) {
    if (platform::waitReadable(s, 20) != 1) continue;
    const int n = platform::receiveSome(s, buffer, sizeof buffer);
    if (n <= 0) break;
    request.append(buffer, size_t(n));
  }
  // "GET /path?query HTTP/1.1"
  const size_t from = request.find(' ') + 1;
  const std::string target = request.substr(from, request.find(' ', from) - from);
  const Route* route = nullptr;
  for (const Route& r : routes_) {
    if (target.compare(0, r.targetPrefix.size(), r.targetPrefix) == 0) {
      route = &r;
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    targets_.push_back(target);
  }
  if (route && nap(route->delayMs)) {
    for (size_t sent = 0; sent < route->reply.size();) {
      const int n = platform::sendSome(s, route->reply.data() + sent, int(route->reply.size() - sent));
      if (n <= 0) break;
      sent += size_t(n);
    }
    while (route->keepOpen && !stopping_) {
      if (platform::waitReadable(s, 20) == 1 && platform::receiveSome(s, buffer, sizeof buffer) <= 0) break;
    }
  }
  platform::closeSocketHandle(s);
}

}  // namespace testsupport
