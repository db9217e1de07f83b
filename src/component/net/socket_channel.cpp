#include "component/net/socket_channel.h"

#include "component/net/progress_monitor.h"

namespace component {
namespace {

constexpr const char* kNoSecureChannel = "Secure connections are not supported.";

}  // namespace

SocketChannel::~SocketChannel() {
  DiagnosticLog discard;
  SocketChannel::close(discard);
}

bool SocketChannel::connect(const char* host, int port, bool secure, uint32_t heartbeatMs, uint32_t timeLimitMs,
                            DiagnosticLog& log, ProgressMonitor* monitor) {
  secure_ = secure;
  if (secure_) {
    log.logError(kNoSecureChannel);
    return false;
  }
  socket_.setConnectTimeoutMs(timeLimitMs);
  return socket_.connectTo(host, port, heartbeatMs, log, monitor);
}

bool SocketChannel::send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                         uint32_t idleLimitMs, DiagnosticLog& log, ProgressMonitor* monitor) {
  if (secure_) {
    log.logError(kNoSecureChannel);
    return false;
  }
  socket_.setIdleLimit(idleLimitMs);
  if (!socket_.sendAll(data, size, chunkSize, heartbeatMs, log, monitor)) return false;
  return !abortedAfterTransfer(monitor, heartbeatMs, "Socket SendBytes2 aborted by application.", log);
}

bool SocketChannel::receive(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t idleLimitMs,
                            DiagnosticLog& log, ProgressMonitor* monitor, ReceiveFlags& flags) {
  if (secure_) {
    flags = ReceiveFlags();
    flags.socketError = true;
    log.logError(kNoSecureChannel);
    return false;
  }
  socket_.setIdleLimit(idleLimitMs);
  if (!socket_.receiveChunk(out, maxBytes, heartbeatMs, log, monitor, flags)) return false;
  flags.aborted = abortedAfterTransfer(monitor, heartbeatMs, "Socket ReceiveBytes aborted by application.", log);
  return !flags.aborted;
}

void SocketChannel::close(DiagnosticLog&) { socket_.closeSocket(); }

bool SocketChannel::abortedAfterTransfer(ProgressMonitor* monitor, uint32_t heartbeatMs, const char* message,
                                         DiagnosticLog& log) {
  if (!monitor || !monitor->checkAbort(heartbeatMs)) return false;
  log.logError(message);
  return true;
}

}  // namespace component
