#pragma once
// A scripted TCP peer on 127.0.0.1 for tests. It listens on a free port as soon
// as it is constructed (so a client may connect at once), and plays a script on
// its own thread for each connection it accepts: send these bytes, in these
// pieces, with these pauses; wait for bytes from the client; then close, reset
// or stall. Everything the client sends is recorded, also while the peer sends,
// so neither side can block the other.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace testsupport {

class LoopbackPeer {
 public:
  explicit LoopbackPeer(int backlog = 16);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT", for KESTROVA_SERVICE and similar settings.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  // Script steps, added before start(); each returns *this for chaining.
  LoopbackPeer& send(const std::string& bytes);
  // Sends `bytes` in pieces of `pieceSize`, pausing `pauseMs` after each piece.
  LoopbackPeer& sendPieces(const std::string& bytes, size_t pieceSize, uint32_t pauseMs);
  LoopbackPeer& sendUrgent(char byte);  // one byte of out-of-band data
  LoopbackPeer& pause(uint32_t ms);
  // Waits (at most `timeoutMs`) until what this connection received contains
  // `marker`, or until the client closes its side.
  LoopbackPeer& receiveUntil(const std::string& marker, uint32_t timeoutMs = 5000);
  LoopbackPeer& receiveUntilClosed(uint32_t timeoutMs = 5000);
  // Whether pauses and sends read what the client sends (on by default). Off
  // makes a slow reader: the client's sends then fill the socket buffers.
  LoopbackPeer& reading(bool on);
  // Ends the connection: orderly close, or a reset.
  LoopbackPeer& close();
  LoopbackPeer& reset();
  // Keeps the connection open without sending, until the peer is destroyed, `ms`
  // passes (0: no limit) or, while reading, the client closes its side.
  LoopbackPeer& stall(uint32_t ms = 0);
  // The steps after this one are played for the next connection.
  LoopbackPeer& nextConnection();

  // Starts accepting: one connection per script (at most `acceptTimeoutMs` wait
  // for each). A script that does not end with close, reset or stall closes.
  void start(uint32_t acceptTimeoutMs = 5000);
  // Waits at most `ms` for every script to finish; true when they did.
  bool waitDone(uint32_t ms);

  // Everything received on connection `index` (0-based), and whether the
  // client closed its side of it.
  std::string received(size_t index = 0) const;
  bool clientClosed(size_t index = 0) const;
  int connectionsAccepted() const { return accepted_.load(); }

 private:
  struct Connection {
    std::string received;
    bool clientClosed = false;
  };
  struct Session;  // one accepted connection while its script plays
  using Step = std::function<void(Session&)>;
  LoopbackPeer& add(Step step);
  LoopbackPeer& waitFor(uint32_t timeoutMs, std::function<bool(const Connection&)> done);
  void run(uint32_t acceptTimeoutMs);

  platform::SocketHandle listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::vector<std::vector<Step>> scripts_{1};
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  mutable std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::vector<Connection> connections_;
};

// A listener on 127.0.0.1 that never accepts and whose queue is full, so that a
// further connect gets no answer at all (its first packet is dropped) rather
// than a refusal: the stand-in for a host that does not answer. Not ready()
// where the system refuses connects to a full queue instead.
class UnansweringListener {
 public:
  UnansweringListener();
  ~UnansweringListener();
  UnansweringListener(const UnansweringListener&) = delete;
  UnansweringListener& operator=(const UnansweringListener&) = delete;
  uint16_t port() const { return port_; }
  bool ready() const { return ready_; }

 private:
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  bool ready_ = false;
  std::vector<platform::SocketHandle> fillers_;
};

// Starts the socket library where the system needs it (once per process).
void ensureSocketsStarted();

// A loopback port that was free a moment ago and has no listener: connects to
// it are refused.
uint16_t closedLoopbackPort();

// What peers do with sockets that the client never does, straight to the
// system (loopback_peer_posix.cpp, loopback_peer_win32.cpp): listen on
// 127.0.0.1 with a free port (or `*port`); accept within `ms` (kInvalidSocket
// when none came); send a byte of urgent data; close with a reset.
platform::SocketHandle listenLoopback(uint16_t* port, int backlog);
platform::SocketHandle acceptConnection(platform::SocketHandle listener, uint32_t ms);
int sendUrgentByte(platform::SocketHandle s, char byte);
void closeWithReset(platform::SocketHandle s);

}  // namespace testsupport
