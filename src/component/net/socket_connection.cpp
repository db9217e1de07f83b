#include "component/net/socket_connection.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "component/net/progress_monitor.h"
#include "component/net/socket_channel.h"

namespace component {
namespace {

// A monitor exists only for the callers that want to follow an operation.
std::unique_ptr<ProgressMonitor> monitorFor(ProgressCallback* callback, int64_t total, platform::Env& env) {
  return callback ? std::make_unique<ProgressMonitor>(callback, total, env) : nullptr;
}

}  // namespace

ComponentObject::~ComponentObject() = default;

SocketConnection::SocketConnection(platform::Env& env, ChannelMaker channels)
    : env_(env), channels_(std::move(channels)) {}
SocketConnection::~SocketConnection() = default;

bool SocketConnection::receiveOnce(DataBuffer& out, uint32_t maxBytes, ProgressMonitor* monitor,
                                   ReceiveFlags& flags) {
  return channel_->receive(out, maxBytes, heartbeatMs_, receiveIdleLimitMs_, log_, monitor, flags);
}

bool SocketConnection::Connect(EncodedString& host, int port, bool secure, int timeLimitMs,
                               ProgressCallback* callback) {
  log_.clearLog();
  LogContext context(log_, "Connect");
  channel_.reset();  // closes the earlier connection first
  channel_ = channels_ ? channels_() : std::make_unique<SocketChannel>(env_);
  pendingBytes_.clear();
  channel_->setCaFile(caFile_);
  channel_->setProxy(proxy_);
  const auto monitor = monitorFor(callback, 100, env_);
  return channel_->connect(host.getUtf8(), port, secure, heartbeatMs_, static_cast<uint32_t>(std::max(timeLimitMs, 0)),
                           log_, monitor.get());
}

std::string SocketConnection::secureFailureText() const {
  return channel_ ? channel_->secureFailureText() : std::string();
}

std::string SocketConnection::proxyFailureText() const {
  return channel_ ? channel_->proxyFailureText() : std::string();
}

bool SocketConnection::ReceiveBytes(DataBuffer& out, ProgressCallback* callback) {
  log_.clearLog();
  LogContext context(log_, "ReceiveBytes");
  if (!channel_) {
    log_.logError("No connection is established");
    return false;
  }
  const auto monitor = monitorFor(callback, 0, env_);
  if (pendingBytes_.getSize() > 0) {
    out.appendBuffer(pendingBytes_);
    pendingBytes_.clear();
    return true;
  }
  // A failed receive has recorded why and added nothing: callers judge by size.
  ReceiveFlags flags;
  receiveOnce(out, receiveChunkSize_, monitor.get(), flags);
  return !flags.aborted;
}

bool SocketConnection::ReceiveBytesN(uint32_t count, DataBuffer& out, ProgressCallback* callback, bool noPercent) {
  log_.clearLog();
  LogContext context(log_, "ReceiveBytesN");
  if (count == 0) {
    log_.logError("The application requested 0 bytes.");
    return false;
  }
  if (!channel_) {
    log_.logError("No connection is established");
    return false;
  }
  const auto monitor = monitorFor(callback, noPercent ? 0 : count, env_);
  if (takePending(count, out, monitor.get())) return true;
  while (count != 0) {
    const uint32_t before = out.getSize();
    ReceiveFlags flags;
    // Never more than is asked for, so a caller that made room for `count`
    // bytes never sees its buffer grow beyond it.
    if (!receiveOnce(out, std::min(receiveChunkSize_, count), monitor.get(), flags)) return !flags.aborted;
    const uint32_t got = out.getSize() - before;
    if (got == 0 || got == count) break;
    if (got > count) {
      // A channel that brought more than asked: keep the rest for the next receive.
      pendingBytes_.append(out.getData() + before + count, got - count);
      out.truncate(before + count);
      break;
    }
    count -= got;
  }
  return true;
}

bool SocketConnection::takePending(uint32_t& count, DataBuffer& out, ProgressMonitor* monitor) {
  const uint32_t pending = pendingBytes_.getSize();
  if (pending == 0) return false;
  bool abort = false;  // only counted: the caller's answer is not acted on here
  if (count < pending) {
    out.append(pendingBytes_.getData(), count);
    pendingBytes_.removeFront(count);
    if (monitor) monitor->addProgress(count, abort);
    return true;
  }
  out.appendBuffer(pendingBytes_);
  pendingBytes_.clear();
  count -= pending;
  if (count != 0) return false;
  if (monitor) monitor->addProgress(pending, abort);
  return true;
}

SocketConnection::MatchResult SocketConnection::ReceiveUntilMatch(const char* match, DataBuffer& out,
                                                                     uint32_t maxBytes, ProgressCallback* callback) {
  out.clear();
  log_.clearLog();
  LogContext context(log_, "ReceiveUntilMatch");
  if (!channel_) {
    log_.logError("No connection is established");
    return MatchResult::kFailed;
  }
  const auto monitor = monitorFor(callback, 0, env_);
  const std::string pattern(match ? match : "");
  // The search runs on the bytes as they came, so whatever follows the match
  // (a compressed or UTF-8 body) stays pending byte for byte.
  out.appendBuffer(pendingBytes_);
  pendingBytes_.clear();
  size_t searchFrom = 0;
  for (;;) {
    const std::string_view text(reinterpret_cast<const char*>(out.getData()), out.getSize());
    const size_t at = text.find(pattern, searchFrom);
    const size_t end = at == std::string_view::npos ? text.size() : at + pattern.size();
    if (end > maxBytes) {
      log_.logError("No match within the size limit");
      log_.logDataLong("maxBytes", static_cast<int32_t>(std::min<uint32_t>(maxBytes, INT32_MAX)));
      return MatchResult::kTooLong;
    }
    if (at != std::string_view::npos) {
      pendingBytes_.append(text.data() + end, static_cast<uint32_t>(text.size() - end));
      out.truncate(static_cast<uint32_t>(end));
      return MatchResult::kMatched;
    }
    // The next search starts where a match split across receives can begin.
    searchFrom = text.size() >= pattern.size() ? text.size() - pattern.size() + 1 : 0;
    const uint32_t before = out.getSize();
    out.growFor(receiveChunkSize_, maxBytes);
    ReceiveFlags flags;
    const bool ok = receiveOnce(out, receiveChunkSize_, monitor.get(), flags);
    if (!ok || out.getSize() == before) return MatchResult::kFailed;
  }
}

void SocketConnection::setMoreToFollow(bool on) {
  if (channel_) channel_->setMoreToFollow(on);
}

bool SocketConnection::canSendFromFile() const { return channel_ && channel_->canSendFromFile(); }

size_t SocketConnection::writeFromFile(platform::FileHandle file, uint64_t offset, size_t count,
                                       ProgressMonitor* monitor) {
  if (!canSendFromFile()) return 0;
  DiagnosticLog discard;  // as write: send failures go to no log
  const bool ok = channel_->sendFromFile(file, offset, count, sendChunkSize_, heartbeatMs_, sendIdleLimitMs_, discard,
                                         monitor);
  return ok ? count : 0;
}

bool SocketConnection::flush(ProgressMonitor* monitor) {
  DiagnosticLog discard;
  return !channel_ || channel_->flush(heartbeatMs_, sendIdleLimitMs_, discard, monitor);
}

size_t SocketConnection::write(const void* data, size_t itemSize, size_t count, ProgressMonitor* monitor) {
  if (!channel_ || itemSize == 0 || !data) return 0;
  if (count > SIZE_MAX / itemSize) return 0;  // the byte count would wrap around
  // Send failures go to no log: write leaves the last operation's trail alone.
  DiagnosticLog discard;
  const bool ok = channel_->send(data, itemSize * count, sendChunkSize_, heartbeatMs_, sendIdleLimitMs_, discard,
                                 monitor);
  return ok ? count : 0;
}

}  // namespace component
