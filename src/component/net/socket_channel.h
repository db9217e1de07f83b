#pragma once
// SocketChannel: one connection of a SocketConnection. It routes connect, send,
// receive and close to its TcpSocket, and checks for an abort after every
// completed transfer. Tests derive from it to play a connection from memory.
#include <cstddef>
#include <cstdint>

#include "component/base/data_buffer.h"
#include "component/log/diagnostic_log.h"
#include "component/net/tcp_socket.h"

namespace component {

class ProgressMonitor;

class SocketChannel {
 public:
  SocketChannel() = default;
  // Closes the connection, recording nowhere.
  virtual ~SocketChannel();
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  // `timeLimitMs` bounds the connect (0: blocking, no limit). Secure
  // connections are not available: they fail with a message.
  virtual bool connect(const char* host, int port, bool secure, uint32_t heartbeatMs, uint32_t timeLimitMs,
                       DiagnosticLog& log, ProgressMonitor* monitor);
  virtual bool send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, uint32_t idleLimitMs,
                    DiagnosticLog& log, ProgressMonitor* monitor);
  // Appends at most `maxBytes` of what one receive brings to `out`.
  virtual bool receive(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t idleLimitMs,
                       DiagnosticLog& log, ProgressMonitor* monitor, ReceiveFlags& flags);
  virtual void close(DiagnosticLog& log);
  // Sends that more bytes follow at once may be held back by the system.
  void setMoreToFollow(bool on) { socket_.setMoreToFollow(on); }

  TcpSocket& tcpSocket() { return socket_; }
  bool isSecure() const { return secure_; }

 protected:
  // The abort check that follows a completed transfer; records `message` when
  // the caller asked to stop.
  static bool abortedAfterTransfer(ProgressMonitor* monitor, uint32_t heartbeatMs, const char* message,
                                   DiagnosticLog& log);

  bool secure_ = false;
  TcpSocket socket_;
};

}  // namespace component
