#pragma once
// SocketConnection: the component's public TCP connection object. Every public
// operation clears the object's log and records its trail in a context named
// after itself; failures are reported as false with the reason in that log.
#include <cstdint>
#include <memory>
#include <string>

#include "component/base/data_buffer.h"
#include "component/base/encoded_string.h"
#include "component/log/diagnostic_log.h"
#include "component/net/proxy_tunnel.h"
#include "component/net/socket_channel.h"
#include "platform/env.h"
#include "platform/files.h"

namespace component {

class ProgressCallback;
class ProgressMonitor;

// The common base of the component's objects: each owns its log.
class ComponentObject {
 public:
  virtual ~ComponentObject();
  // Renders the object's log in its text form.
  void lastErrorText(StringBuffer& out) { log_.lastErrorText(out); }
  void lastErrorXml(StringBuffer& out) { log_.lastErrorXml(out); }
  RecordingLog& log() { return log_; }

 protected:
  RecordingLog log_;
};

// An output for bytes. write returns `count` when every byte went out, else 0.
class ByteSink {
 public:
  virtual size_t write(const void* data, size_t itemSize, size_t count, ProgressMonitor* monitor) {
    (void)data, (void)itemSize, (void)count, (void)monitor;
    return 0;
  }
  virtual ~ByteSink() = default;
};

class SocketConnection : public ComponentObject, public ByteSink {
 public:
  // The clock and socket start-up are those of `env`; each Connect opens its
  // channel with `channels` (null: a socket).
  explicit SocketConnection(platform::Env& env = platform::Env::standard(), ChannelMaker channels = nullptr);
  ~SocketConnection() override;
  SocketConnection(const SocketConnection&) = delete;
  SocketConnection& operator=(const SocketConnection&) = delete;

  bool Connect(EncodedString& host, int port, bool secure, int timeLimitMs, ProgressCallback* callback);
  // The trusted roots of the next secure Connect: a PEM file, or "" for the system's.
  void setCaFile(const std::string& path) { caFile_ = path; }
  // Why the current secure connection failed, naming the host; "" when it did not.
  std::string secureFailureText() const;
  // The HTTP proxy of the next Connect, and why the current connection failed
  // at or through it, naming the proxy and the target; "" when it did not.
  void setProxy(const ProxyHop& proxy) { proxy_ = proxy; }
  std::string proxyFailureText() const;
  // Appends what one receive brings (or the pending bytes). True once a
  // connection exists, also when nothing arrived (callers judge by the size),
  // unless the callback stopped the receive.
  bool ReceiveBytes(DataBuffer& out, ProgressCallback* callback);
  // Appends up to `count` bytes, stopping early only when a receive fails or
  // brings nothing. False for a zero count, without a connection, or when the
  // callback stopped a receive.
  bool ReceiveBytesN(uint32_t count, DataBuffer& out, ProgressCallback* callback, bool noPercent);

  enum class MatchResult { kMatched, kFailed, kTooLong };
  // Receives until `match` has arrived; `out` gets the bytes up to and
  // including it, and the bytes after it stay pending, byte for byte. A peer
  // that sends more than `maxBytes` without the match ends it with kTooLong,
  // so a stream that never matches cannot grow `out` without bound.
  MatchResult ReceiveUntilMatch(const char* match, DataBuffer& out, uint32_t maxBytes, ProgressCallback* callback);

  size_t write(const void* data, size_t itemSize, size_t count, ProgressMonitor* monitor) override;
  // Whether writeFromFile can be used on the current connection.
  bool canSendFromFile() const;
  // write for `count` bytes of the open file `file` from `offset`, which the
  // system takes from the file itself; a file that ends before them fails it.
  size_t writeFromFile(platform::FileHandle file, uint64_t offset, size_t count, ProgressMonitor* monitor);
  // Sends what earlier writes left gathered; false when that send failed.
  bool flush(ProgressMonitor* monitor);

  void setHeartbeatMs(uint32_t ms) { heartbeatMs_ = ms; }
  uint32_t heartbeatMs() const { return heartbeatMs_; }
  // While on, written bytes may wait for those that follow at once (fewer,
  // fuller sends and packets); the first write after turning it off, and every
  // receive, send everything. No effect on the bytes themselves.
  void setMoreToFollow(bool on);
  void setReceiveIdleLimitMs(uint32_t ms) { receiveIdleLimitMs_ = ms; }
  uint32_t receiveIdleLimitMs() const { return receiveIdleLimitMs_; }
  void setSendIdleLimitMs(uint32_t ms) { sendIdleLimitMs_ = ms; }
  DataBuffer& pendingBytes() { return pendingBytes_; }

 private:
  // Hands out what earlier receives left pending, at most `count` bytes, and
  // takes them off `count`; true when they were all that was asked for (then
  // counted on the monitor).
  bool takePending(uint32_t& count, DataBuffer& out, ProgressMonitor* monitor);
  // One channel receive of at most `maxBytes` into `out` with this
  // connection's settings.
  bool receiveOnce(DataBuffer& out, uint32_t maxBytes, ProgressMonitor* monitor, ReceiveFlags& flags);

  platform::Env& env_;
  ChannelMaker channels_;
  std::unique_ptr<SocketChannel> channel_;
  uint32_t receiveIdleLimitMs_ = 0;
  uint32_t sendIdleLimitMs_ = 0;
  uint32_t heartbeatMs_ = 1000;
  uint32_t sendChunkSize_ = 4096;
  uint32_t receiveChunkSize_ = 4096;
  DataBuffer pendingBytes_;
  std::string caFile_;
  ProxyHop proxy_;
};

}  // namespace component
