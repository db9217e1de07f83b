// TcpSocket: waits for data, sending and receiving, and closing. Waits are cut
// into heartbeat slices so that a progress monitor can abort between them.
#include <algorithm>
#include <vector>

#include "component/net/progress_monitor.h"
#include "component/net/tcp_socket.h"
#include "platform/clock.h"

namespace component {
namespace {

// The abort check before a piece of a send, and the count after it; true,
// with the log entry, when the caller has asked to stop.
bool stoppedBeforePiece(ProgressMonitor* monitor, uint32_t heartbeatMs, DiagnosticLog& log) {
  if (!monitor || !monitor->checkAbort(heartbeatMs)) return false;
  log.logError("Socket SendBytes2 aborted by application. (1)");
  return true;
}

bool stoppedAfterPiece(ProgressMonitor* monitor, size_t bytes, DiagnosticLog& log) {
  bool abort = false;
  if (monitor) monitor->addProgress(int64_t(bytes), abort);
  if (abort) log.logError("Socket send aborted by application");
  return abort;
}

}  // namespace

void TcpSocket::setIdleLimit(uint32_t ms) {
  if (ms == 0) ms = kUnlimitedWaitMs;
  idleLimitMs_ = std::min(ms, kLargestIdleLimitMs);
}

void TcpSocket::closeSocket() {
  if (handle_ != platform::kInvalidSocket) {
    platform::shutdownBoth(handle_);
    platform::closeSocketHandle(handle_);
    handle_ = platform::kInvalidSocket;
  }
  connected_ = false;
  nonBlocking_ = false;
  gathered_.clear();
  gatheredFile_ = Outgoing();
}

void TcpSocket::setNonBlockingMode(bool on) {
  if (nonBlocking_ == on) return;
  platform::setNonBlocking(handle_, on);
  nonBlocking_ = on;
}

bool TcpSocket::waitForData(uint32_t heartbeatMs, uint32_t timeLimitMs, ProgressMonitor* monitor,
                            ReceiveFlags& flags, DiagnosticLog& log) {
  flags = ReceiveFlags();
  if (heartbeatMs != 0 && heartbeatMs < kSmallestSliceMs) heartbeatMs = kSmallestSliceMs;
  if (timeLimitMs == 0) timeLimitMs = kUnlimitedWaitMs;
  if (!hasSocket()) {
    log.logError("Invalid socket.");
    flags.socketError = true;
    return false;
  }
  uint32_t waited = 0;
  bool first = true;
  while (waited < timeLimitMs) {
    uint32_t slice = timeLimitMs - waited;
    if (heartbeatMs != 0) slice = std::min(slice, heartbeatMs);
    if (first) {
      // The first abort check comes after half a heartbeat; the slice stays
      // at the smallest one unless the whole wait is shorter than that.
      slice = std::max(slice / 2, std::min(slice, kSmallestSliceMs));
      first = false;
    }
    const int r = platform::waitReadable(handle_, slice);
    if (r < 0) {
      log.logError("Error waiting for socket to become ready for reading.");
      closeSocket();
      flags.socketError = true;
      return false;
    }
    if (r > 0) return true;
    waited += slice;
    log.logDataLong("totalMsWaitedSoFar", static_cast<int32_t>(waited));
    log.logDataLong("timeoutMs", static_cast<int32_t>(timeLimitMs));
    if (waited >= timeLimitMs) break;
    if (abortedBetweenSlices(monitor, heartbeatMs, flags, log)) return false;
  }
  log.logError("Timeout waiting to read socket or accept connection");
  flags.timedOut = true;
  return false;
}

bool TcpSocket::abortedBetweenSlices(ProgressMonitor* monitor, uint32_t heartbeatMs, ReceiveFlags& flags,
                                     DiagnosticLog& log) {
  if (!monitor || heartbeatMs == 0) return false;
  monitor->checkAbort(heartbeatMs);
  // isAborted also sees an abort answered before this wait began.
  if (!monitor->isAborted()) return false;
  flags.aborted = true;
  log.logError("socket operation aborted by application callback");
  return true;
}

bool TcpSocket::sendAll(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, DiagnosticLog& log,
                        ProgressMonitor* monitor) {
  if (!hasSocket()) {
    log.logError("No socket exists for sending (2)");
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (size < kGatherBytes && (moreToFollow_ || !gathered_.empty() || gatheredFile_.size > 0)) {
    // The last bytes join what was gathered, so that all go out together.
    if (!gather(bytes, size, chunkSize, heartbeatMs, log, monitor)) return false;
    return moreToFollow_ || sendGathered(heartbeatMs, false, log, monitor);
  }
  Outgoing out;
  out.bytes = bytes;
  out.size = size;
  return sendGathered(heartbeatMs, size > 0, log, monitor) &&
         sendPieces(out, chunkSize, heartbeatMs, true, moreToFollow_, log, monitor);
}

bool TcpSocket::gather(const unsigned char* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                       DiagnosticLog& log, ProgressMonitor* monitor) {
  // Each piece as sendPieces would send it: checked before, counted after.
  size_t remaining = size;
  while (remaining > 0) {
    const size_t piece = std::min<size_t>(chunkSize ? chunkSize : remaining, remaining);
    if (stoppedBeforePiece(monitor, heartbeatMs, log)) return false;
    if ((gathered_.size() + piece > kGatherBytes || gatheredFile_.size > 0) &&
        !sendGathered(heartbeatMs, true, log, monitor)) {
      return false;
    }
    if (gathered_.capacity() < kGatherBytes) gathered_.reserve(kGatherBytes);
    gathered_.insert(gathered_.end(), data, data + piece);
    if (stoppedAfterPiece(monitor, piece, log)) return false;
    data += piece;
    remaining -= piece;
  }
  return true;
}

bool TcpSocket::sendFromFile(platform::FileHandle file, uint64_t offset, size_t size, uint32_t chunkSize,
                             uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor) {
  if (!hasSocket()) {
    log.logError("No socket exists for sending (2)");
    return false;
  }
  // Pieces are gathered as gather does with bytes, as one range of the file.
  for (size_t done = 0; done < size;) {
    const size_t piece = std::min<size_t>(chunkSize ? chunkSize : size - done, size - done);
    if (stoppedBeforePiece(monitor, heartbeatMs, log)) return false;
    Outgoing& range = gatheredFile_;
    const bool joins = range.size > 0 && range.file == file && range.offset + range.size == offset + done &&
                       range.size + piece <= kGatherBytes;
    if (!joins) {
      if (range.size > 0 && !sendGathered(heartbeatMs, true, log, monitor)) return false;
      range.file = file;
      range.offset = offset + done;
    }
    range.size += piece;
    if (stoppedAfterPiece(monitor, piece, log)) return false;
    done += piece;
  }
  return moreToFollow_ || sendGathered(heartbeatMs, false, log, monitor);
}

bool TcpSocket::flush(uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor) {
  return sendGathered(heartbeatMs, false, log, monitor);
}

bool TcpSocket::sendGathered(uint32_t heartbeatMs, bool moreAfter, DiagnosticLog& log, ProgressMonitor* monitor) {
  Outgoing bytes;
  bytes.bytes = gathered_.data();
  bytes.size = gathered_.size();
  const Outgoing range = gatheredFile_;
  gatheredFile_ = Outgoing();
  bool sent = bytes.size == 0 || sendPieces(bytes, 0, heartbeatMs, false, moreAfter || range.size > 0, log, monitor);
  gathered_.clear();
  if (sent && range.size > 0) sent = sendPieces(range, 0, heartbeatMs, false, moreAfter, log, monitor);
  return sent;
}

bool TcpSocket::sendPieces(const Outgoing& out, uint32_t chunkSize, uint32_t heartbeatMs, bool fresh, bool moreAfter,
                           DiagnosticLog& log, ProgressMonitor* monitor) {
  const uint32_t idleLimit = idleLimitMs_ ? idleLimitMs_ : kUnlimitedWaitMs;
  // Sends never block, so that a peer that stops reading is met by a sliced
  // wait (which the monitor can abort) instead of a send that never returns.
  setNonBlockingMode(true);
  size_t done = 0;
  while (done < out.size) {
    const size_t remaining = out.size - done;
    const size_t limit = chunkSize ? chunkSize : remaining;
    const int piece = static_cast<int>(std::min<size_t>({limit, remaining, 0x7FFFFFFF}));
    if (fresh && stoppedBeforePiece(monitor, heartbeatMs, log)) return false;
    const bool more = moreAfter || static_cast<size_t>(piece) < remaining;
    const int sent = out.bytes ? platform::sendNonBlocking(handle_, out.bytes + done, piece, more)
                               : platform::sendFromFile(handle_, out.file, out.offset + done, piece);
    if (sent < 0) {
      const int code = platform::lastSocketError();
      if (code != platform::kWsaEwouldblock) {
        reportSocketError(code, log);
        log.logError("Error sending on socket");
        log.logDataLong("send_size", piece);
        return false;
      }
      bool aborted = false;
      if (!waitWritableMonitored(heartbeatMs, idleLimit, log, monitor, aborted)) {
        log.logError(aborted ? "Socket send aborted by application" : "Socket send idle timeout");
        return false;
      }
      continue;
    }
    if (sent == 0 && !out.bytes) {
      log.logError("The file ended before all of it was sent");
      return false;
    }
    if (sent > 0 && fresh && stoppedAfterPiece(monitor, size_t(sent), log)) return false;
    done += static_cast<size_t>(sent);
    if (sent == 0) platform::sleepMs(10);
  }
  return true;
}

bool TcpSocket::receiveAvailable(void* buffer, uint32_t& length, uint32_t heartbeatMs, DiagnosticLog& log,
                                 ProgressMonitor* monitor, ReceiveFlags& flags) {
  flags = ReceiveFlags();
  if (!hasSocket()) {
    length = 0;
    log.logError("This socket is not connected");
    flags.socketError = true;
    return false;
  }
  // What was gathered goes out before a reply is waited for. Should that fail,
  // its entries stay in the log and the receive still reads what the peer said.
  sendGathered(heartbeatMs, false, log, monitor);
  setNonBlockingMode(false);
  const uint32_t limit = idleLimitMs_ ? idleLimitMs_ : kUnlimitedWaitMs;
  if (!waitForData(heartbeatMs, limit, monitor, flags, log)) {
    length = 0;
    return false;
  }
  if (!receiveReady(buffer, length, log, monitor)) {
    flags.socketError = true;
    return false;
  }
  return true;
}

bool TcpSocket::receiveReady(void* buffer, uint32_t& length, DiagnosticLog& log, ProgressMonitor* monitor) {
  const uint32_t max = length;
  length = 0;
  const int n = platform::receiveSome(handle_, buffer, static_cast<int>(std::min<uint32_t>(max, 0x7FFFFFFF)));
  if (n == 0) {
    log.logError(kReceiveClosedText);
    closeSocket();
    return false;
  }
  if (n < 0) {
    log.logError(platform::lastSocketErrorText().c_str());
    log.logError(kReceiveFailedText);
    return false;
  }
  length = static_cast<uint32_t>(n);
  if (monitor) {
    // Only counted here: the abort check follows the whole receive.
    bool abort = false;
    monitor->addProgress(n, abort);
  }
  return true;
}

bool TcpSocket::receiveChunk(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, DiagnosticLog& log,
                             ProgressMonitor* monitor, ReceiveFlags& flags) {
  const uint32_t size = std::min(std::max<uint32_t>(maxBytes, 1), kLargestReceiveBuffer);
  std::vector<unsigned char> buffer(size);
  uint32_t length = size;
  const bool ok = receiveAvailable(buffer.data(), length, heartbeatMs, log, monitor, flags);
  if (ok && length > 0) {
    out.append(buffer.data(), length);
    return true;
  }
  return ok;
}

}  // namespace component
