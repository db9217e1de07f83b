// Reception of the upload's reply: the header (interim "100 Continue" replies
// skipped), the body in chunked, sized or unframed form, and gzip unpacking.
// Every read is bounded (ReplyLimits) so a hostile reply can neither exhaust
// memory nor keep the reader looping, and the body grows in steps that keep
// the work linear in its size.
#include <cstring>
#include <string>
#include <string_view>

#include "component/http/gzip_body.h"
#include "component/http/http_upload_impl.h"
#include "component/http/reply_header.h"
#include "component/net/progress_monitor.h"
#include "protocol/reply_text.h"

namespace component {
namespace {

using MatchResult = SocketConnection::MatchResult;

// How long a reply sent before the request was complete is waited for.
constexpr uint32_t kEarlyReplyIdleMs = 2000;

// The first line of a header, cut at its line feed, trimmed, without blanks and
// upper-cased: "HTTP/1.1 100 Continue" in any case and spacing compares equal to
// "HTTP/1.1100CONTINUE".
bool isInterimContinue(EncodedString& headerText) {
  StringBuffer line(headerText.getUtf8());
  line.truncateAtChar('\n');
  line.trim();
  line.removeChar(' ');
  line.toUpper();
  return line.equals("HTTP/1.1100CONTINUE");
}

// Replies that carry no body whatever their header says.
bool hasNoBody(const ReplyHeader& header) {
  const int32_t status = header.getStatusCode();
  return status == 204 || status == 304 || (header.hasContentLength() && header.getContentLength() == 0);
}

}  // namespace

MatchResult HttpUploadImpl::receiveHeader(EncodedString& headerText) {
  DataBuffer bytes;
  const MatchResult result =
      connection_ ? connection_->ReceiveUntilMatch("\r\n\r\n", bytes, limits_.maxHeaderBytes, callback_)
                  : MatchResult::kFailed;
  // The header is text: a zero byte ends it.
  const unsigned char* data = bytes.getData();
  const void* zero = std::memchr(data, 0, bytes.getSize());
  const uint32_t length = zero ? uint32_t(static_cast<const unsigned char*>(zero) - data) : bytes.getSize();
  headerText.setAnsiBytes(data, int(length));
  if (result == MatchResult::kTooLong) {
    log_.logError("Reply header exceeds the size limit");
    log_.logDataLong("maxHeaderBytes", int32_t(limits_.maxHeaderBytes));
  }
  return result;
}

void HttpUploadImpl::logReceiveFailure(const char* message) {
  if (callback_ && callback_->wasAborted()) log_.logError("Aborted by application");
  log_.logError(message);
}

bool HttpUploadImpl::bodyReceiveStopped(const char* message) {
  // The connection exists and the count is not 0: only the callback stops a receive.
  log_.logError("Aborted by application");
  log_.logError(message);
  return false;
}

bool HttpUploadImpl::readReply() {
  statusCode_ = 0;
  statusLine_.clear();
  replyHeaderText_.clear();
  replyBody_.clear();
  if (!receiveFinalHeader()) return false;

  ReplyHeader header;
  header.parse(replyHeaderText_.getUtf8());
  statusCode_ = header.getStatusCode();
  statusLine_ = header.statusLine();
  if (statusCode_ == 0) {
    log_.logError("Received unexpected HTTP response");
    return false;
  }
  if (!readReplyBody(header)) {
    log_.logError("Failed to fetch response data.");
    return false;
  }
  return unpackBody();
}

bool HttpUploadImpl::receiveFinalHeader() {
  MatchResult received = receiveHeader(replyHeaderText_);
  if (received != MatchResult::kMatched) {
    if (received == MatchResult::kFailed) logReceiveFailure("Failed to receive until double-CRLF");
    StringBuffer socketLog;
    if (connection_) connection_->lastErrorText(socketLog);
    log_.logData("socketLog", socketLog.getString());
    return false;
  }
  for (uint32_t interim = 1; isInterimContinue(replyHeaderText_); ++interim) {
    if (interim > limits_.maxInterimReplies) {
      log_.logError("Too many interim 100 Continue replies");
      log_.logDataLong("maxInterimReplies", int32_t(limits_.maxInterimReplies));
      return false;
    }
    replyHeaderText_.clear();
    received = receiveHeader(replyHeaderText_);
    if (received == MatchResult::kFailed) logReceiveFailure("Failed to receive after 100 Continue");
    if (received != MatchResult::kMatched) return false;
  }
  return true;
}

bool HttpUploadImpl::unpackBody() {
  // gzip data is unpacked whatever the header says.
  const unsigned char* body = replyBody_.getData();
  if (replyBody_.getSize() <= 10 || body[0] != 0x1F || body[1] != 0x8B) return true;
  DataBuffer unpacked;
  switch (gunzip(body, replyBody_.getSize(), limits_.maxBodyBytes, unpacked, log_)) {
    case GunzipResult::kOk: replyBody_.takeFrom(unpacked); break;
    case GunzipResult::kInvalid: break;  // the body stays as it came
    case GunzipResult::kTooLarge: return false;
  }
  return true;
}

bool HttpUploadImpl::readReplyBody(const ReplyHeader& header) {
  if (!connection_) {
    log_.logError("Failed to read response data");
    return false;
  }
  StringBuffer encoding;
  if (header.getField("Transfer-Encoding", encoding) && encoding.equalsIgnoreCase("chunked")) return readChunkedBody();
  if (hasNoBody(header)) return true;

  const int32_t contentLength = header.getContentLength();
  if (contentLength > 0) {
    if (uint64_t(replyBody_.getSize()) + uint32_t(contentLength) > limits_.maxBodyBytes) {
      log_.logError("Reply body exceeds the size limit");
      log_.logDataLong("contentLength", contentLength);
      log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
      return false;
    }
    replyBody_.ensureCapacity(replyBody_.getSize() + uint32_t(contentLength));
    if (!connection_->ReceiveBytesN(uint32_t(contentLength), replyBody_, callback_, false)) {
      return bodyReceiveStopped("Failed to read response data");
    }
    return true;
  }
  return readBodyUntilClosed();
}

bool HttpUploadImpl::readBodyUntilClosed() {
  // Without framing the body ends where the server closes; every receive until
  // then adds to it, however the server split its writes.
  DataBuffer piece;
  for (;;) {
    piece.clear();
    if (!connection_->ReceiveBytes(piece, callback_)) return bodyReceiveStopped("Failed to read response data");
    if (piece.getSize() == 0) return true;  // closed (or idle past the limit): the connection's log says which
    if (uint64_t(replyBody_.getSize()) + piece.getSize() > limits_.maxBodyBytes) {
      log_.logError("Reply body exceeds the size limit");
      log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
      return false;
    }
    replyBody_.growFor(piece.getSize(), limits_.maxBodyBytes);
    replyBody_.appendBuffer(piece);
  }
}

bool HttpUploadImpl::readChunkedBody() {
  DataBuffer line;
  for (;;) {
    const MatchResult received = connection_->ReceiveUntilMatch("\r\n", line, limits_.maxHeaderBytes, callback_);
    if (received != MatchResult::kMatched) {
      log_.logError("Failed to response chunk size");  // sic: what every trail has said
      if (received == MatchResult::kTooLong) {
        log_.logError("Chunk size line exceeds the size limit");
        log_.logDataLong("maxLineBytes", int32_t(limits_.maxHeaderBytes));
      }
      return false;
    }
    // The line without its "\r\n", read as the upload has always read it.
    const std::string_view text(reinterpret_cast<const char*>(line.getData()), line.getSize() - 2);
    uint64_t size = 0;
    switch (protocol::parseChunkSize(text, protocol::Reading::kLenient, &size)) {
      case protocol::ChunkSize::kNone: return true;
      case protocol::ChunkSize::kSign:
        log_.logError("Chunk size line carries a sign");
        return false;
      case protocol::ChunkSize::kTooManyDigits:
        log_.logError("Chunk size line has more than 16 hexadecimal digits");
        return false;
      case protocol::ChunkSize::kSize: break;
    }
    if (size == 0) {
      // The line that ends the chunked body; its outcome does not matter.
      connection_->ReceiveUntilMatch("\r\n", line, limits_.maxHeaderBytes, callback_);
      return true;
    }
    if (size > limits_.maxBodyBytes - replyBody_.getSize()) {
      log_.logError("Chunk size exceeds the reply body limit");
      log_.logData("chunkSize", std::to_string(size).c_str());
      log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
      return false;
    }
    replyBody_.growFor(uint32_t(size), limits_.maxBodyBytes);
    if (!connection_->ReceiveBytesN(uint32_t(size), replyBody_, callback_, false)) {
      return bodyReceiveStopped("Failed to get chunked response data");
    }
    DataBuffer lineEnd;
    if (!connection_->ReceiveBytesN(2, lineEnd, callback_, false)) {
      return bodyReceiveStopped("Failed to get CRLF in chunked response data");
    }
  }
}

bool HttpUploadImpl::keepEarlyReply(ProgressMonitor* monitor) {
  // A server may answer as soon as it has seen enough (a 413 for a body over
  // its limit) and close, which fails the send. Its answer is still in the
  // connection: keep it for the caller. The run fails all the same.
  if (!connection_ || (monitor && monitor->isAborted()) || (callback_ && callback_->wasAborted())) return false;
  const uint32_t idleLimitMs = connection_->receiveIdleLimitMs();
  connection_->setReceiveIdleLimitMs(kEarlyReplyIdleMs);
  DataBuffer first;
  connection_->ReceiveBytes(first, callback_);
  if (first.getSize() > 0) {
    connection_->pendingBytes().appendBuffer(first);
    if (readReply()) {
      log_.logError("The server replied before the whole request was sent");
      log_.logData("statusLine", statusLine_.getString());
    }
  }
  connection_->setReceiveIdleLimitMs(idleLimitMs);
  return false;
}

}  // namespace component
