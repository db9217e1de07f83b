#pragma once
// SocketChannel: one connection of a SocketConnection. It routes connect, send,
// receive and close to its TcpSocket, or, for a secure connection, to a TLS
// stream over that socket, and checks for an abort after every completed
// transfer. A caller that brings its own transport (a test or a fuzzer that
// plays a server from memory) derives from it and hands in a ChannelMaker.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "component/base/data_buffer.h"
#include "component/log/diagnostic_log.h"
#include "component/net/proxy_tunnel.h"
#include "component/net/tcp_socket.h"
#include "platform/tls.h"

namespace component {

class ProgressMonitor;

class SocketChannel {
 public:
  // The clock and socket start-up are those of `env`.
  explicit SocketChannel(platform::Env& env);
  // Closes the connection, recording nowhere.
  virtual ~SocketChannel();
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  // `timeLimitMs` bounds the connect (0: blocking, no limit), through the
  // proxy's tunnel when a proxy is set and the connect is secure. A secure connect
  // adds the TLS handshake with its checks within what is left of that time;
  // when it fails, its reason is logged and the socket closed before a single
  // byte of the caller's could be sent.
  virtual bool connect(const char* host, int port, bool secure, uint32_t heartbeatMs, uint32_t timeLimitMs,
                       DiagnosticLog& log, ProgressMonitor* monitor);
  virtual bool send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, uint32_t idleLimitMs,
                    DiagnosticLog& log, ProgressMonitor* monitor);
  // Whether sendFromFile can be used: a plain connection, on a system that
  // sends from files.
  bool canSendFromFile() const { return !secure_ && socket_.hasSocket() && platform::canSendFromFile(); }
  // send for `size` bytes of the open file `file` from `offset`, taken by the
  // system from the file itself.
  bool sendFromFile(platform::FileHandle file, uint64_t offset, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                    uint32_t idleLimitMs, DiagnosticLog& log, ProgressMonitor* monitor);
  // Sends what the socket has gathered.
  bool flush(uint32_t heartbeatMs, uint32_t idleLimitMs, DiagnosticLog& log, ProgressMonitor* monitor);
  // Appends at most `maxBytes` of what one receive brings to `out`.
  virtual bool receive(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t idleLimitMs,
                       DiagnosticLog& log, ProgressMonitor* monitor, ReceiveFlags& flags);
  virtual void close(DiagnosticLog& log);
  // Sends that more bytes follow at once may be held back: gathered by the
  // TcpSocket (or, secure, in the stream's last record).
  void setMoreToFollow(bool on) {
    moreToFollow_ = on;
    socket_.setMoreToFollow(on);
  }
  // The trusted roots of a secure connect: a PEM file, or "" for the system's.
  void setCaFile(const std::string& path) { caFile_ = path; }
  // Why the secure connection failed, naming the host; "" when it did not.
  std::string secureFailureText() const;
  // The HTTP proxy of the next connect (see proxy_tunnel.h), and why the
  // connect failed at or through it, naming the proxy and the target.
  void setProxy(const ProxyHop& proxy) { proxy_ = proxy; }
  const std::string& proxyFailureText() const { return proxyFailure_; }

 protected:
  // The abort check that follows a completed transfer; records `message` when
  // the caller asked to stop.
  static bool abortedAfterTransfer(ProgressMonitor* monitor, uint32_t heartbeatMs, const char* message,
                                   DiagnosticLog& log);

  platform::Env& env_;
  bool secure_ = false;
  TcpSocket socket_;

 private:
  bool sendSecure(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, DiagnosticLog& log,
                  ProgressMonitor* monitor);
  bool receiveSecure(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, DiagnosticLog& log,
                     ProgressMonitor* monitor, ReceiveFlags& flags);
  // Waits within the idle limit, in heartbeat slices with an abort check after
  // each, until the stream has something to report or, `writable`, room.
  bool waitSecure(bool writable, uint32_t heartbeatMs, ProgressMonitor* monitor, ReceiveFlags& flags,
                  DiagnosticLog& log);

  std::unique_ptr<platform::TlsStream> tls_;
  std::string caFile_;
  ProxyHop proxy_;
  std::string proxyFailure_;
  bool moreToFollow_ = false;
};

// Makes the channel of each connect; null: a SocketChannel.
using ChannelMaker = std::function<std::unique_ptr<SocketChannel>()>;

}  // namespace component
