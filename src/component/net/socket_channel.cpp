#include "component/net/socket_channel.h"

#include <algorithm>
#include <vector>

#include "component/net/progress_monitor.h"
#include "platform/proxy.h"

namespace component {

SocketChannel::SocketChannel(platform::Env& env) : env_(env), socket_(env) {}

SocketChannel::~SocketChannel() {
  DiagnosticLog discard;
  SocketChannel::close(discard);
}

bool SocketChannel::connect(const char* host, int port, bool secure, uint32_t heartbeatMs, uint32_t timeLimitMs,
                            DiagnosticLog& log, ProgressMonitor* monitor) {
  secure_ = secure;
  tls_.reset();
  proxyFailure_.clear();
  const uint32_t start = env_.tickCount();
  const uint32_t limit = timeLimitMs ? timeLimitMs : kUnlimitedWaitMs;
  socket_.setConnectTimeoutMs(timeLimitMs);
  const std::string target = std::string(host ? host : "") + ":" + std::to_string(port);
  if (!proxy_.used()) {
    if (!socket_.connectTo(host, port, heartbeatMs, log, monitor)) return false;
  } else if (!socket_.connectTo(proxy_.host.c_str(), proxy_.port, heartbeatMs, log, monitor)) {
    proxyFailure_ = platform::proxyUnreachableText(proxy_.address(), target);
    return false;
  } else if (secure_) {
    // The tunnel, like the handshake after it, gets what is left of the time.
    const uint32_t spent = env_.tickCount() - start;
    if (!openTunnel(socket_, proxy_, target, spent < limit ? limit - spent : 1, heartbeatMs, log, monitor,
                    &proxyFailure_)) {
      return false;
    }
  }
  if (!secure_) return true;
  // The handshake gets what is left of the connect's time, so a server that
  // stalls or answers in plain HTTP fails within the limit.
  const uint32_t spent = env_.tickCount() - start;
  tls_ = std::make_unique<platform::TlsStream>();
  if (tls_->handshake(socket_.handle(), host, caFile_, spent < limit ? limit - spent : 1)) return true;
  log.logError(tls_->errorText().c_str());
  socket_.closeSocket();
  return false;
}

std::string SocketChannel::secureFailureText() const { return tls_ ? tls_->errorText() : std::string(); }

bool SocketChannel::send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                         uint32_t idleLimitMs, DiagnosticLog& log, ProgressMonitor* monitor) {
  socket_.setIdleLimit(idleLimitMs);
  const bool sent = secure_ ? sendSecure(data, size, chunkSize, heartbeatMs, log, monitor)
                            : socket_.sendAll(data, size, chunkSize, heartbeatMs, log, monitor);
  return sent && !abortedAfterTransfer(monitor, heartbeatMs, "Socket SendBytes2 aborted by application.", log);
}

bool SocketChannel::sendFromFile(platform::FileHandle file, uint64_t offset, size_t size, uint32_t chunkSize,
                                 uint32_t heartbeatMs, uint32_t idleLimitMs, DiagnosticLog& log,
                                 ProgressMonitor* monitor) {
  socket_.setIdleLimit(idleLimitMs);
  return socket_.sendFromFile(file, offset, size, chunkSize, heartbeatMs, log, monitor) &&
         !abortedAfterTransfer(monitor, heartbeatMs, "Socket SendBytes2 aborted by application.", log);
}

bool SocketChannel::flush(uint32_t heartbeatMs, uint32_t idleLimitMs, DiagnosticLog& log, ProgressMonitor* monitor) {
  socket_.setIdleLimit(idleLimitMs);
  return socket_.flush(heartbeatMs, log, monitor);
}

bool SocketChannel::receive(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t idleLimitMs,
                            DiagnosticLog& log, ProgressMonitor* monitor, ReceiveFlags& flags) {
  socket_.setIdleLimit(idleLimitMs);
  const bool received = secure_ ? receiveSecure(out, maxBytes, heartbeatMs, log, monitor, flags)
                                : socket_.receiveChunk(out, maxBytes, heartbeatMs, log, monitor, flags);
  if (!received) return false;
  flags.aborted = abortedAfterTransfer(monitor, heartbeatMs, "Socket ReceiveBytes aborted by application.", log);
  return !flags.aborted;
}

void SocketChannel::close(DiagnosticLog&) {
  if (tls_) tls_->close();  // the closing alert, when the socket takes it now
  tls_.reset();
  socket_.closeSocket();
}

bool SocketChannel::abortedAfterTransfer(ProgressMonitor* monitor, uint32_t heartbeatMs, const char* message,
                                         DiagnosticLog& log) {
  if (!monitor || !monitor->checkAbort(heartbeatMs)) return false;
  log.logError(message);
  return true;
}

bool SocketChannel::sendSecure(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                               DiagnosticLog& log, ProgressMonitor* monitor) {
  if (!tls_) {
    log.logError("No socket exists for sending (2)");
    return false;
  }
  const auto* p = static_cast<const char*>(data);
  size_t remaining = size;
  // The stream sends whole records; while more follows at once, the last one
  // may wait to be filled.
  bool flushed = moreToFollow_;
  while (remaining > 0 || !flushed) {
    int n = 0;
    if (remaining > 0) {
      if (monitor && monitor->checkAbort(heartbeatMs)) {
        log.logError("Socket SendBytes2 aborted by application. (1)");
        return false;
      }
      const size_t limit = chunkSize ? chunkSize : remaining;
      n = tls_->send(p, static_cast<int>(std::min<size_t>({limit, remaining, 0x7FFFFFFF})));
      if (n > 0) {
        p += n;
        remaining -= static_cast<size_t>(n);
        bool abort = false;
        if (monitor) monitor->addProgress(n, abort);
        if (abort) {
          log.logError("Socket send aborted by application");
          return false;
        }
        continue;
      }
    } else {
      n = tls_->flush();
      flushed = n == 1;
      if (flushed) break;
    }
    if (n < 0 && !tls_->wouldBlock()) {
      log.logError(tls_->errorText().c_str());
      log.logError("Error sending on socket");
      return false;
    }
    ReceiveFlags flags;
    if (!waitSecure(true, heartbeatMs, monitor, flags, log)) {
      log.logError(flags.aborted ? "Socket send aborted by application" : "Socket send idle timeout");
      return false;
    }
  }
  return true;
}

bool SocketChannel::receiveSecure(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, DiagnosticLog& log,
                                  ProgressMonitor* monitor, ReceiveFlags& flags) {
  flags = ReceiveFlags();
  if (!tls_) {
    log.logError("This socket is not connected");
    flags.socketError = true;
    return false;
  }
  if (!waitSecure(false, heartbeatMs, monitor, flags, log)) return false;
  std::vector<unsigned char> buffer(std::min(std::max<uint32_t>(maxBytes, 1), kLargestReceiveBuffer));
  const int n = tls_->receive(buffer.data(), static_cast<int>(buffer.size()));
  if (n > 0) {
    out.append(buffer.data(), static_cast<uint32_t>(n));
    bool abort = false;  // only counted here: the abort check follows the whole receive
    if (monitor) monitor->addProgress(n, abort);
    return true;
  }
  flags.socketError = true;
  if (n == 0) {
    log.logError(kReceiveClosedText);
    close(log);
  } else {
    log.logError(tls_->errorText().c_str());
    log.logError(kReceiveFailedText);
  }
  return false;
}

bool SocketChannel::waitSecure(bool writable, uint32_t heartbeatMs, ProgressMonitor* monitor, ReceiveFlags& flags,
                               DiagnosticLog& log) {
  flags = ReceiveFlags();
  if (heartbeatMs != 0 && heartbeatMs < kSmallestSliceMs) heartbeatMs = kSmallestSliceMs;
  const uint32_t limit = socket_.idleLimitMs();
  for (uint32_t waited = 0; waited < limit;) {
    const uint32_t slice = heartbeatMs ? std::min(heartbeatMs, limit - waited) : limit - waited;
    const int ready = writable ? tls_->waitWritable(slice) : tls_->waitReadable(slice);
    if (ready > 0) return true;
    if (ready < 0) {
      log.logError(platform::lastSocketErrorText().c_str());
      flags.socketError = true;
      return false;
    }
    waited += slice;
    if (TcpSocket::abortedBetweenSlices(monitor, heartbeatMs, flags, log)) return false;
  }
  log.logError(writable ? "socket is not ready for writing" : "Timeout waiting to read socket or accept connection");
  flags.timedOut = true;
  return false;
}

}  // namespace component
