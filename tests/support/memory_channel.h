#pragma once
// MemoryChannel: a connection played from memory, for driving SocketConnection's
// real receive logic (pending bytes, splits at a match) and everything built on
// it without sockets. It serves given reply bytes in given piece sizes, then
// reports that the peer closed (or, if asked, that the wait timed out), and
// records everything sent through it. Messages, flags and monitor calls follow
// the socket channel's, so callers cannot tell the two apart by their results.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/net/socket_channel.h"
#include "component/net/socket_connection.h"

namespace testsupport {

class MemoryChannel : public component::SocketChannel {
 public:
  // What the channel saw. Shared, so it outlives the channel (a connection
  // destroys its channel on the next Connect and at its own end).
  struct Record {
    std::string sent;  // every byte sent, in order
    std::string host;  // as the last connect got it (UTF-8)
    int port = 0;
    bool secure = false;
    uint32_t timeLimitMs = 0;
    int connects = 0;
    int receives = 0;  // receive calls, the failed ones included
    bool closed = false;
  };

  // Serves `reply` in pieces of `pieceSizes[0]`, `pieceSizes[1]`, ... (the last
  // size repeats; no sizes: the whole reply at once). A receive never hands out
  // more than its maximum; the rest of that piece comes with the next receive.
  explicit MemoryChannel(std::string reply = {}, std::vector<size_t> pieceSizes = {});
  ~MemoryChannel() override;

  // connect answers `ok` (default true); false records "Connect function failed."
  // and the refused-connection text.
  MemoryChannel& setConnectResult(bool ok);
  // A send that would take the total sent beyond `bytes` sends what fits and
  // fails as a reset connection does.
  MemoryChannel& failSendAfter(size_t bytes);
  // Once the reply is used up, receives time out instead of reporting the close.
  MemoryChannel& endWithTimeout();

  std::shared_ptr<Record> record() const { return record_; }

  bool connect(const char* host, int port, bool secure, uint32_t heartbeatMs, uint32_t timeLimitMs,
               component::DiagnosticLog& log, component::ProgressMonitor* monitor) override;
  bool send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, uint32_t idleLimitMs,
            component::DiagnosticLog& log, component::ProgressMonitor* monitor) override;
  bool receive(component::DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t idleLimitMs,
               component::DiagnosticLog& log, component::ProgressMonitor* monitor,
               component::ReceiveFlags& flags) override;
  void close(component::DiagnosticLog& log) override;

 private:
  std::string reply_;
  std::vector<size_t> pieceSizes_;
  size_t served_ = 0;        // bytes of the reply handed out
  size_t pieceIndex_ = 0;    // which piece size applies next
  size_t pieceLeft_ = 0;     // bytes left of a piece cut short by a receive's maximum
  bool connectOk_ = true;
  size_t sendLimit_ = static_cast<size_t>(-1);
  bool endWithTimeout_ = false;
  std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

// While it lives, every SocketConnection::Connect (also inside code under
// test) gets a fresh MemoryChannel serving `reply` in `pieceSizes`, after
// `configure` (when given) has adjusted it.
class MemoryChannelFactory {
 public:
  MemoryChannelFactory(std::string reply, std::vector<size_t> pieceSizes = {},
                       std::function<void(MemoryChannel&)> configure = {});
  ~MemoryChannelFactory();
  MemoryChannelFactory(const MemoryChannelFactory&) = delete;
  MemoryChannelFactory& operator=(const MemoryChannelFactory&) = delete;

  // One record per channel made, in order.
  const std::vector<std::shared_ptr<MemoryChannel::Record>>& records() const { return records_; }

 private:
  std::vector<std::shared_ptr<MemoryChannel::Record>> records_;
};

}  // namespace testsupport
