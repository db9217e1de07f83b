#include "support/loopback_peer.h"

#include <chrono>
#include <cstdlib>

#include "platform/clock.h"

namespace testsupport {
namespace {

constexpr uint32_t kSliceMs = 5;

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
  platform::closeSocketHandle(platform::listenLoopback(&port, 1));
  return port;
}

LoopbackPeer::LoopbackPeer(int backlog) {
  ensureSocketsStarted();
  listener_ = platform::listenLoopback(&port_, backlog);
  if (listener_ == platform::kInvalidSocket) std::abort();
}

LoopbackPeer::~LoopbackPeer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  platform::closeSocketHandle(listener_);
}

std::string LoopbackPeer::address() const { return "127.0.0.1:" + std::to_string(port_); }

LoopbackPeer& LoopbackPeer::add(Step step) {
  scripts_.back().push_back(std::move(step));
  return *this;
}

LoopbackPeer& LoopbackPeer::send(const std::string& bytes) { return add({Step::kSend, bytes, 0, 0}); }

LoopbackPeer& LoopbackPeer::sendPieces(const std::string& bytes, size_t pieceSize, uint32_t pauseMs) {
  if (pieceSize == 0) pieceSize = 1;
  for (size_t i = 0; i < bytes.size(); i += pieceSize) {
    send(bytes.substr(i, pieceSize));
    if (pauseMs) pause(pauseMs);
  }
  return *this;
}

LoopbackPeer& LoopbackPeer::sendUrgent(char byte) { return add({Step::kUrgent, std::string(1, byte), 0, 0}); }
LoopbackPeer& LoopbackPeer::pause(uint32_t ms) { return add({Step::kPause, {}, 0, ms}); }
LoopbackPeer& LoopbackPeer::receiveUntil(const std::string& marker, uint32_t timeoutMs) {
  return add({Step::kReceiveUntil, marker, 0, timeoutMs});
}
LoopbackPeer& LoopbackPeer::receiveBytes(size_t count, uint32_t timeoutMs) {
  return add({Step::kReceiveBytes, {}, count, timeoutMs});
}
LoopbackPeer& LoopbackPeer::receiveUntilClosed(uint32_t timeoutMs) {
  return add({Step::kReceiveClosed, {}, 0, timeoutMs});
}
LoopbackPeer& LoopbackPeer::reading(bool on) { return add({Step::kReading, {}, on ? 1u : 0u, 0}); }
LoopbackPeer& LoopbackPeer::close() { return add({Step::kClose, {}, 0, 0}); }
LoopbackPeer& LoopbackPeer::reset() { return add({Step::kReset, {}, 0, 0}); }
LoopbackPeer& LoopbackPeer::stall(uint32_t ms) { return add({Step::kStall, {}, 0, ms}); }
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

std::string LoopbackPeer::receivedAll() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (const auto& c : connections_) all += c.received;
  return all;
}

bool LoopbackPeer::clientClosed(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index < connections_.size() && connections_[index].clientClosed;
}

void LoopbackPeer::run(uint32_t acceptTimeoutMs) {
  for (size_t i = 0; i < scripts_.size() && !stopping_; ++i) {
    platform::SocketHandle s = platform::kInvalidSocket;
    // Accept in short slices so that destruction is never held up.
    for (uint32_t waited = 0; waited < acceptTimeoutMs && !stopping_ && s == platform::kInvalidSocket;
         waited += 20) {
      s = platform::acceptConnection(listener_, 20);
    }
    if (s == platform::kInvalidSocket) break;
    ++accepted_;
    reading_ = true;
    platform::setNonBlocking(s, true);
    play(s, i, scripts_[i]);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  done_.notify_all();
}

bool LoopbackPeer::drain(platform::SocketHandle s, size_t index, uint32_t ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connections_[index].clientClosed) {
      if (ms) platform::sleepMs(ms);
      return false;
    }
  }
  if (!reading_) {
    if (ms) platform::sleepMs(ms);
    return true;
  }
  if (platform::waitReadable(s, ms) != 1) return true;
  // One receive at a time: a step that waits for some bytes stops reading soon
  // after they came, however fast the client sends.
  char buf[65536];
  const int n = platform::receiveSome(s, buf, sizeof buf);
  std::lock_guard<std::mutex> lock(mutex_);
  if (n > 0) {
    connections_[index].received.append(buf, size_t(n));
    return true;
  }
  if (n == 0 || platform::lastSocketError() != platform::kWsaEwouldblock) {
    connections_[index].clientClosed = true;
    return false;
  }
  return true;
}

bool LoopbackPeer::sendAll(platform::SocketHandle s, size_t index, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size() && !stopping_) {
    const int n = platform::sendSome(s, bytes.data() + sent, int(bytes.size() - sent));
    if (n > 0) {
      sent += size_t(n);
      continue;
    }
    if (n < 0 && platform::lastSocketError() != platform::kWsaEwouldblock) return false;
    drain(s, index, 0);
    platform::waitWritable(s, kSliceMs);
  }
  return sent == bytes.size();
}

bool LoopbackPeer::waitUntil(platform::SocketHandle s, size_t index, uint32_t timeoutMs, const Step& step) {
  const uint32_t start = platform::tickCount();
  while (!stopping_ && platform::tickCount() - start < timeoutMs) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const Connection& c = connections_[index];
      if (step.kind == Step::kReceiveUntil && c.received.find(step.bytes) != std::string::npos) return true;
      if (step.kind == Step::kReceiveBytes && c.received.size() >= step.count) return true;
      if (c.clientClosed) return step.kind == Step::kReceiveClosed;
    }
    const bool wasReading = reading_;
    reading_ = true;  // waiting for the client's bytes means reading them
    drain(s, index, kSliceMs);
    reading_ = wasReading;
  }
  return false;
}

void LoopbackPeer::play(platform::SocketHandle s, size_t index, const std::vector<Step>& script) {
  bool ended = false;
  for (const Step& step : script) {
    if (stopping_) break;
    switch (step.kind) {
      case Step::kSend:
        drain(s, index, 0);
        sendAll(s, index, step.bytes);
        break;
      case Step::kUrgent:
        platform::sendUrgentByte(s, step.bytes[0]);
        break;
      case Step::kPause:
      case Step::kStall: {
        const uint32_t start = platform::tickCount();
        while (!stopping_ && (step.ms == 0 ? step.kind == Step::kStall : platform::tickCount() - start < step.ms)) {
          // A stall has nothing left to do once the client has gone.
          if (!drain(s, index, kSliceMs) && step.kind == Step::kStall) break;
        }
        if (step.kind == Step::kStall) {
          platform::closeSocketHandle(s);
          ended = true;
        }
        break;
      }
      case Step::kReceiveUntil:
      case Step::kReceiveBytes:
      case Step::kReceiveClosed:
        waitUntil(s, index, step.ms, step);
        break;
      case Step::kReading:
        reading_ = step.count != 0;
        break;
      case Step::kClose:
        drain(s, index, 0);
        platform::shutdownBoth(s);
        platform::closeSocketHandle(s);
        ended = true;
        break;
      case Step::kReset:
        platform::closeWithReset(s);
        ended = true;
        break;
    }
    if (ended) return;
  }
  platform::shutdownBoth(s);
  platform::closeSocketHandle(s);
}

}  // namespace testsupport

namespace testsupport {

UnansweringListener::UnansweringListener() {
  ensureSocketsStarted();
  listener_ = platform::listenLoopback(&port_, 0);
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
  for (platform::SocketHandle s : fillers_) platform::closeWithReset(s);
  platform::closeSocketHandle(listener_);
}

}  // namespace testsupport
