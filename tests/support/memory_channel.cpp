#include "support/memory_channel.h"

#include <algorithm>

#include "component/net/progress_monitor.h"

namespace testsupport {

using component::DiagnosticLog;
using component::ProgressMonitor;

MemoryChannel::MemoryChannel(std::string reply, std::vector<size_t> pieceSizes)
    : reply_(std::move(reply)), pieceSizes_(std::move(pieceSizes)) {}

MemoryChannel::~MemoryChannel() { record_->closed = true; }

MemoryChannel& MemoryChannel::setConnectResult(bool ok) {
  connectOk_ = ok;
  return *this;
}

MemoryChannel& MemoryChannel::failSendAfter(size_t bytes) {
  sendLimit_ = bytes;
  return *this;
}

MemoryChannel& MemoryChannel::endWithTimeout() {
  endWithTimeout_ = true;
  return *this;
}

bool MemoryChannel::connect(const char* host, int port, bool secure, uint32_t, uint32_t timeLimitMs,
                            DiagnosticLog& log, ProgressMonitor*) {
  Record& r = *record_;
  r.host = host ? host : "";
  r.port = port;
  r.secure = secure;
  r.timeLimitMs = timeLimitMs;
  ++r.connects;
  r.closed = false;
  secure_ = secure;
  if (secure) {
    log.logError("Secure connections are not supported.");
    return false;
  }
  if (!connectOk_) {
    log.logDataLong("sockError", platform::kWsaEconnrefused);
    log.logError("Connect function failed.");
    component::reportSocketError(platform::kWsaEconnrefused, log);
    return false;
  }
  return true;
}

bool MemoryChannel::send(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, uint32_t,
                         DiagnosticLog& log, ProgressMonitor* monitor) {
  Record& r = *record_;
  if (r.closed) {
    log.logError("No socket exists for sending (2)");
    return false;
  }
  const char* p = static_cast<const char*>(data);
  size_t remaining = size;
  while (remaining > 0) {
    const size_t piece = std::min<size_t>(chunkSize ? chunkSize : remaining, remaining);
    if (monitor && monitor->checkAbort(heartbeatMs)) {
      log.logError("Socket SendBytes2 aborted by application. (1)");
      return false;
    }
    if (r.sent.size() + piece > sendLimit_) {
      r.sent.append(p, sendLimit_ - std::min(sendLimit_, r.sent.size()));
      component::reportSocketError(platform::kWsaEconnreset, log);
      log.logError("Error sending on socket");
      log.logDataLong("send_size", static_cast<int32_t>(piece));
      return false;
    }
    r.sent.append(p, piece);
    if (monitor) {
      bool abort = false;
      monitor->addProgress(static_cast<int64_t>(piece), abort);
      if (abort) {
        log.logError("Socket send aborted by application");
        return false;
      }
    }
    p += piece;
    remaining -= piece;
  }
  if (monitor && monitor->checkAbort(heartbeatMs)) {
    log.logError("Socket SendBytes2 aborted by application.");
    return false;
  }
  return true;
}

bool MemoryChannel::receive(component::DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, uint32_t,
                            DiagnosticLog& log, ProgressMonitor* monitor, component::ReceiveFlags& flags) {
  flags = component::ReceiveFlags();
  Record& r = *record_;
  ++r.receives;
  if (r.closed) {
    log.logError("This socket is not connected");
    flags.socketError = true;
    return false;
  }
  if (served_ >= reply_.size()) {
    if (endWithTimeout_) {
      log.logError("Timeout waiting to read socket or accept connection");
      flags.timedOut = true;
      return false;
    }
    log.logError("Failed to received data on socket.");
    r.closed = true;
    flags.socketError = true;
    return false;
  }
  if (pieceLeft_ == 0) {
    if (pieceSizes_.empty()) {
      pieceLeft_ = reply_.size() - served_;
    } else {
      pieceLeft_ = std::max<size_t>(pieceSizes_[std::min(pieceIndex_, pieceSizes_.size() - 1)], 1);
      ++pieceIndex_;
    }
  }
  const size_t max = std::min<size_t>(std::max<uint32_t>(maxBytes, 1), component::kLargestReceiveBuffer);
  const size_t n = std::min({pieceLeft_, max, reply_.size() - served_});
  out.append(reply_.data() + served_, static_cast<uint32_t>(n));
  served_ += n;
  pieceLeft_ -= n;
  if (monitor) {
    bool abort = false;
    monitor->addProgress(static_cast<int64_t>(n), abort);
    if (monitor->checkAbort(heartbeatMs)) {
      log.logError("Socket ReceiveBytes aborted by application.");
      flags.aborted = true;
      return false;
    }
  }
  return true;
}

void MemoryChannel::close(DiagnosticLog&) { record_->closed = true; }

MemoryChannelFactory::MemoryChannelFactory(std::string reply, std::vector<size_t> pieceSizes,
                                           std::function<void(MemoryChannel&)> configure) {
  component::SocketConnection::setChannelFactoryForTesting(
      [this, reply = std::move(reply), pieceSizes = std::move(pieceSizes), configure = std::move(configure)]() {
        auto channel = std::make_unique<MemoryChannel>(reply, pieceSizes);
        if (configure) configure(*channel);
        records_.push_back(channel->record());
        return std::unique_ptr<component::SocketChannel>(std::move(channel));
      });
}

MemoryChannelFactory::~MemoryChannelFactory() { component::SocketConnection::setChannelFactoryForTesting({}); }

}  // namespace testsupport
