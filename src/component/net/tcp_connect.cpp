// TcpSocket: opening a socket and connecting it, with the writability waits
// that a non-blocking connect needs.
#include <algorithm>
#include <string>

#include "component/net/progress_monitor.h"
#include "component/net/tcp_socket.h"

namespace component {

TcpSocket::TcpSocket(platform::Env& env) : env_(env) {
  DiagnosticLog discard;
  startSockets(env_, discard);
}

TcpSocket::~TcpSocket() { closeSocket(); }

bool TcpSocket::createSocket(DiagnosticLog& log) {
  if (!startSockets(env_, log)) return false;
  closeSocket();
  handle_ = platform::openStreamSocket();
  if (handle_ == platform::kInvalidSocket) {
    reportSocketError(platform::lastSocketError(), log);
    return false;
  }
  return true;
}

bool TcpSocket::prepareHost(const char* host, std::string& use, DiagnosticLog& log) {
  if (!host) {
    log.logError("Cannot connect, hostname is NULL");
    return false;
  }
  StringBuffer trimmed(host);
  trimmed.trim();
  if (trimmed.getSize() == 0) {
    log.logError("Cannot connect, hostname is zero length");
    return false;
  }
  // Other names go on as given: the look-up cleans them only when they are not
  // found as they are.
  use = trimmed.equalsIgnoreCase("localhost") ? "127.0.0.1" : host;
  startSockets(env_, log);
  return true;
}

bool TcpSocket::connectCompleted(int& code, DiagnosticLog& log) {
  // Writable also means "the outcome is known": a refused connect shows the
  // same way, so ask the socket how it ended.
  code = platform::pendingSocketError(handle_);
  if (code == 0) return true;
  log.logDataLong("sockError", code);
  return false;
}

bool TcpSocket::findAddress(const std::string& host, bool timed, uint32_t& budget, DiagnosticLog& log,
                            uint32_t* address) {
  if (platform::parseDottedIPv4(host, address)) return true;
  const uint32_t start = env_.tickCount();
  if (!resolveHost(env_, host.c_str(), timed ? connectTimeoutMs_ : 0, log, address)) {
    log.logError("Cannot get host by name.");
    log.logData("hostname", host.c_str());
    return false;
  }
  if (*address == 0) return false;
  // What the look-up took comes off the budget; a wrapped counter skips it.
  const uint32_t now = env_.tickCount();
  if (!timed || budget == 0 || now < start) return true;
  if (now - start >= budget) {
    log.logError("Application timeout after DNS");
    return false;
  }
  budget -= now - start;
  return true;
}

bool TcpSocket::connectTo(const char* host, int port, uint32_t heartbeatMs, DiagnosticLog& log,
                          ProgressMonitor* monitor) {
  // With a monitor to follow it, the connect times its look-up and waits in
  // heartbeat slices that the monitor can stop, and tries once; without one it
  // waits its whole time and tries twice.
  if (heartbeatMs == 0) monitor = nullptr;
  try {
    std::string use;
    uint32_t budget = connectTimeoutMs_;
    uint32_t address = 0;
    if (!prepareHost(host, use, log) || !findAddress(use, monitor != nullptr, budget, log, &address)) return false;
    if (!createSocket(log) || !hasSocket()) {
      log.logError("Cannot connect, invalid socket.");
      return false;
    }
    return connectAddress(address, port, budget, heartbeatMs, log, monitor);
  } catch (...) {
    return false;
  }
}

bool TcpSocket::connectAddress(uint32_t address, int port, uint32_t budget, uint32_t heartbeatMs, DiagnosticLog& log,
                               ProgressMonitor* monitor) {
  const bool timed = budget != 0;  // else one blocking connect, without a limit
  if (timed) platform::setNonBlocking(handle_, true);
  bool ok = false;
  bool reported = false;
  int code = 0;
  for (int attempt = 1;; ++attempt) {
    ok = platform::connectIPv4(handle_, address, static_cast<uint16_t>(port)) == 0;
    if (ok) break;
    code = platform::lastSocketError();
    if (code != platform::kWsaEwouldblock) {
      log.logDataLong("sockError", code);
      break;
    }
    if (!timed) break;
    bool aborted = false;
    if (monitor ? waitWritableMonitored(heartbeatMs, budget, log, monitor, aborted) : waitWritable(budget, log)) {
      ok = connectCompleted(code, log);
      break;
    }
    if (aborted) {
      platform::setNonBlocking(handle_, false);
      return false;  // the wait said why
    }
    if (monitor) {
      reportSocketError(code, log);  // the time ran out while the connect would still block
      reported = true;
      break;
    }
    if (attempt == 2) break;
    // The second connect on the same socket finds the first still under way
    // and answers "already in progress": the attempt ends there, with that error.
    log.logError("Connection attempt timed out, trying again.");
  }
  if (timed) platform::setNonBlocking(handle_, false);
  if (ok) {
    connected_ = true;
    return true;
  }
  // Each way of connecting has always ended its message so: with a monitor
  // without the full stop.
  log.logError(monitor ? "Connect function failed" : "Connect function failed.");
  if (!reported) reportSocketError(code, log);
  return false;
}

int TcpSocket::waitWritableOnce(uint32_t ms) const {
  // A connect's outcome shows as writability or, on Windows, as an exception;
  // a connected socket waits for room to send alone.
  return connected_ ? platform::waitSendRoom(handle_, ms) : platform::waitWritable(handle_, ms);
}

bool TcpSocket::waitWritable(uint32_t timeLimitMs, DiagnosticLog& log) {
  if (!hasSocket()) {
    log.logError("invalid socket, not ready for writing.");
    return false;
  }
  const int r = waitWritableOnce(timeLimitMs ? timeLimitMs : kUnlimitedWaitMs);
  if (r < 0) {
    log.logError("select returned a socket error");
    return false;
  }
  if (r != 1) {
    log.logError("socket is not ready for writing");
    return false;
  }
  return true;
}

bool TcpSocket::waitWritableMonitored(uint32_t heartbeatMs, uint32_t timeLimitMs, DiagnosticLog& log,
                                      ProgressMonitor* monitor, bool& aborted) {
  aborted = false;
  if (heartbeatMs != 0 && heartbeatMs < kSmallestSliceMs) heartbeatMs = kSmallestSliceMs;
  if (timeLimitMs == 0) timeLimitMs = kUnlimitedWaitMs;
  if (!monitor || heartbeatMs == 0) return waitWritable(timeLimitMs, log);
  if (!hasSocket()) {
    log.logError("invalid socket, not ready for writing.");
    return false;
  }
  uint32_t waited = 0;
  while (waited < timeLimitMs) {
    const uint32_t slice = std::min(heartbeatMs, timeLimitMs - waited);
    const int r = waitWritableOnce(slice);
    if (r < 0) {
      log.logError("select returned a socket error");
      return false;
    }
    if (r == 1) return true;
    waited += slice;
    if (waited >= timeLimitMs) break;
    monitor->checkAbort(heartbeatMs);
    if (monitor->isAborted()) {
      aborted = true;
      log.logError("socket operation aborted by application callback");
      return false;
    }
  }
  log.logError("socket is not ready for writing");
  return false;
}

}  // namespace component
