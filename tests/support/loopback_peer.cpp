#include "support/loopback_peer.h"

#include <chrono>
#include <cstdlib>

#include "platform/clock.h"

namespace testsupport {
namespace {

constexpr uint32_t kSliceMs = 5;

void orderlyClose(platform::SocketHandle s) {
  platform::shutdownBoth(s);
  platform::closeSocketHandle(s);
}

}  // namespace

void ensureSocketsStarted() {
  static const bool started = [] {
    uint16_t granted = 0;
    return platform::startupSockets(0x0202, &granted) == 0;
  }();
  if (!started) std::abort();
}

uint16_t closedLoopbackPort() {
  ensureSocketsStarted();
  uint16_t port = 0;
  platform::closeSocketHandle(listenLoopback(&port, 1));
  return port;
}

struct LoopbackPeer::Session {
  LoopbackPeer& peer;
  platform::SocketHandle s;
  size_t index;
  bool reading = true;
  bool ended = false;

  bool clientClosed() {
    std::lock_guard<std::mutex> lock(peer.mutex_);
    return peer.connections_[index].clientClosed;
  }
  // Reads what arrives within `ms`, one receive at a time, so that a step that
  // waits for some bytes stops reading soon after they came however fast the
  // client sends. False once the client has closed.
  bool drain(uint32_t ms) {
    if (clientClosed() || !reading) {
      if (ms) platform::sleepMs(ms);
      return !clientClosed();
    }
    if (platform::waitReadable(s, ms) != 1) return true;
    char buf[65536];
    const int n = platform::receiveSome(s, buf, sizeof buf);
    std::lock_guard<std::mutex> lock(peer.mutex_);
    Connection& c = peer.connections_[index];
    if (n > 0) c.received.append(buf, size_t(n));
    if (n == 0 || (n < 0 && platform::lastSocketError() != platform::kWsaEwouldblock)) c.clientClosed = true;
    return !c.clientClosed;
  }
  void sendAll(const std::string& bytes) {
    drain(0);
    for (size_t sent = 0; sent < bytes.size() && !peer.stopping_;) {
      const int n = platform::sendSome(s, bytes.data() + sent, int(bytes.size() - sent));
      if (n > 0) {
        sent += size_t(n);
        continue;
      }
      if (n < 0 && platform::lastSocketError() != platform::kWsaEwouldblock) return;
      drain(0);
      platform::waitWritable(s, kSliceMs);
    }
  }
  // A pause reads (when reading) for `ms`; a stall also ends when the client
  // has gone, and then closes.
  void hold(uint32_t ms, bool stall) {
    const uint32_t start = platform::tickCount();
    while (!peer.stopping_ && (ms == 0 ? stall : platform::tickCount() - start < ms)) {
      if (!drain(kSliceMs) && stall) break;
    }
    if (stall) end(platform::closeSocketHandle);
  }
  void end(void (*closer)(platform::SocketHandle)) {
    drain(0);
    closer(s);
    ended = true;
  }
};

LoopbackPeer::LoopbackPeer(int backlog) {
  ensureSocketsStarted();
  listener_ = listenLoopback(&port_, backlog);
  if (listener_ == platform::kInvalidSocket) std::abort();
}

LoopbackPeer::~LoopbackPeer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  platform::closeSocketHandle(listener_);
}

LoopbackPeer& LoopbackPeer::add(Step step) {
  scripts_.back().push_back(std::move(step));
  return *this;
}

LoopbackPeer& LoopbackPeer::send(const std::string& bytes) {
  return add([bytes](Session& s) { s.sendAll(bytes); });
}

LoopbackPeer& LoopbackPeer::sendPieces(const std::string& bytes, size_t pieceSize, uint32_t pauseMs) {
  if (pieceSize == 0) pieceSize = 1;
  for (size_t i = 0; i < bytes.size(); i += pieceSize) {
    send(bytes.substr(i, pieceSize));
    if (pauseMs) pause(pauseMs);
  }
  return *this;
}

LoopbackPeer& LoopbackPeer::sendUrgent(char byte) {
  return add([byte](Session& s) { sendUrgentByte(s.s, byte); });
}
LoopbackPeer& LoopbackPeer::pause(uint32_t ms) {
  return add([ms](Session& s) { s.hold(ms, false); });
}
LoopbackPeer& LoopbackPeer::stall(uint32_t ms) {
  return add([ms](Session& s) { s.hold(ms, true); });
}
LoopbackPeer& LoopbackPeer::reading(bool on) {
  return add([on](Session& s) { s.reading = on; });
}
LoopbackPeer& LoopbackPeer::close() {
  return add([](Session& s) { s.end(orderlyClose); });
}
LoopbackPeer& LoopbackPeer::reset() {
  return add([](Session& s) { s.end(closeWithReset); });
}

LoopbackPeer& LoopbackPeer::waitFor(uint32_t timeoutMs, std::function<bool(const Connection&)> done) {
  return add([this, timeoutMs, done](Session& s) {
    const bool wasReading = s.reading;
    s.reading = true;  // waiting for the client's bytes means reading them
    for (const uint32_t start = platform::tickCount(); !stopping_ && platform::tickCount() - start < timeoutMs;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        const Connection& c = connections_[s.index];
        if (done(c) || c.clientClosed) break;
      }
      s.drain(kSliceMs);
    }
    s.reading = wasReading;
  });
}
LoopbackPeer& LoopbackPeer::receiveUntil(const std::string& marker, uint32_t timeoutMs) {
  return waitFor(timeoutMs, [marker](const Connection& c) { return c.received.find(marker) != std::string::npos; });
}
LoopbackPeer& LoopbackPeer::receiveUntilClosed(uint32_t timeoutMs) {
  return waitFor(timeoutMs, [](const Connection&) { return false; });
}

LoopbackPeer& LoopbackPeer::nextConnection() {
  scripts_.emplace_back();
  return *this;
}

void LoopbackPeer::start(uint32_t acceptTimeoutMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.assign(scripts_.size(), Connection{});
  }
  thread_ = std::thread([this, acceptTimeoutMs] { run(acceptTimeoutMs); });
}

bool LoopbackPeer::waitDone(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return done_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_; });
}

std::string LoopbackPeer::received(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < connections_.size() ? connections_[index].received : std::string();
}

bool LoopbackPeer::clientClosed(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < connections_.size() && connections_[index].clientClosed;
}

void LoopbackPeer::run(uint32_t acceptTimeoutMs) {
  for (size_t i = 0; i < scripts_.size() && !stopping_; ++i) {
    platform::SocketHandle s = platform::kInvalidSocket;
    // Accept in short slices so that destruction is never held up.
    for (uint32_t waited = 0; waited < acceptTimeoutMs && !stopping_ && s == platform::kInvalidSocket; waited += 20) {
      s = acceptConnection(listener_, 20);
    }
    if (s == platform::kInvalidSocket) break;
    ++accepted_;
    platform::setNonBlocking(s, true);
    Session session{*this, s, i};
    for (const Step& step : scripts_[i]) {
      if (stopping_ || session.ended) break;
      step(session);
    }
    if (!session.ended) orderlyClose(s);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  done_.notify_all();
}

UnansweringListener::UnansweringListener() {
  ensureSocketsStarted();
  listener_ = listenLoopback(&port_, 0);
  if (listener_ == platform::kInvalidSocket) std::abort();
  // Queue connections until one stays unanswered; a handful is enough on any
  // system that drops connects to a full queue.
  for (int i = 0; i < 8 && !ready_; ++i) {
    const platform::SocketHandle s = platform::openStreamSocket();
    if (s == platform::kInvalidSocket) break;
    platform::setNonBlocking(s, true);
    fillers_.push_back(s);
    uint32_t loopback = 0;
    platform::parseDottedIPv4("127.0.0.1", &loopback);
    if (platform::connectIPv4(s, loopback, port_) == 0) continue;
    if (platform::lastSocketError() != platform::kWsaEwouldblock) break;
    if (platform::waitWritable(s, 200) == 0) {
      ready_ = true;
    } else if (platform::pendingSocketError(s) != 0) {
      break;  // refused: this system answers a full queue
    }
  }
}

UnansweringListener::~UnansweringListener() {
  for (platform::SocketHandle s : fillers_) closeWithReset(s);
  platform::closeSocketHandle(listener_);
}

}  // namespace testsupport
