// Reception of the upload's reply: the header (interim "100 Continue" replies
// skipped), the body in chunked, sized or unframed form, and gzip unpacking.
// Every read is bounded (ReplyLimits) so a hostile reply can neither exhaust
// memory nor keep the reader looping.
#include <cctype>
#include <cstring>
#include <string>

#include "component/http/gzip_body.h"
#include "component/http/http_upload_impl.h"
#include "component/http/reply_header.h"
#include "component/net/progress_monitor.h"

namespace component {
namespace {

constexpr uint32_t kMaxChunkSizeDigits = 16;

// Offset just behind the first `match` in `data[from, size)`, or 0.
uint32_t findEnd(const unsigned char* data, uint32_t size, uint32_t from, const char* match) {
  const uint32_t n = uint32_t(std::strlen(match));
  for (uint32_t i = from; i + n <= size; ++i) {
    if (std::memcmp(data + i, match, n) == 0) return i + n;
  }
  return 0;
}

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

enum class ChunkSize { kNumber, kNone, kInvalid };

// The chunk size at the start of a chunk-size line, read like "%x" (leading
// white space skipped, an optional "0x", anything after the digits ignored),
// except that a sign or more than 16 digits make the line invalid.
ChunkSize parseChunkSize(const char* line, uint64_t* size, const char** why) {
  const char* p = line;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+' || *p == '-') {
    *why = "Chunk size line carries a sign";
    return ChunkSize::kInvalid;
  }
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit(static_cast<unsigned char>(p[2]))) p += 2;
  uint32_t digits = 0;
  uint64_t value = 0;
  for (; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
    if (++digits > kMaxChunkSizeDigits) {
      *why = "Chunk size line has more than 16 hexadecimal digits";
      return ChunkSize::kInvalid;
    }
    const int c = std::tolower(static_cast<unsigned char>(*p));
    value = (value << 4) | uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (digits == 0) return ChunkSize::kNone;
  *size = value;
  return ChunkSize::kNumber;
}

}  // namespace

HttpUploadImpl::Receive HttpUploadImpl::receiveUntil(const char* match, DataBuffer& text) {
  text.clear();
  if (!connection_) return Receive::kFailed;
  const uint32_t matchLength = uint32_t(std::strlen(match));
  uint32_t searchFrom = 0;
  for (;;) {
    const uint32_t end = findEnd(text.getData(), text.getSize(), searchFrom, match);
    if (end > limits_.maxHeaderBytes) return Receive::kTooLong;
    if (end) {
      // What came after the match belongs to the next read; it goes back in
      // front of anything still pending, byte for byte.
      DataBuffer& pending = connection_->pendingBytes();
      DataBuffer rest;
      rest.append(text.getData() + end, text.getSize() - end);
      rest.appendBuffer(pending);
      pending.clear();
      pending.appendBuffer(rest);
      text.truncate(end);
      return Receive::kMatched;
    }
    if (text.getSize() > limits_.maxHeaderBytes) return Receive::kTooLong;
    const uint32_t before = text.getSize();
    connection_->ReceiveBytes(text, callback_);
    if (text.getSize() == before) return Receive::kFailed;  // the connection's log says why
    searchFrom = before >= matchLength ? before - matchLength + 1 : 0;
  }
}

HttpUploadImpl::Receive HttpUploadImpl::receiveHeader(EncodedString& headerText) {
  DataBuffer bytes;
  const Receive result = receiveUntil("\r\n\r\n", bytes);
  // The header is text: a zero byte ends it.
  const unsigned char* data = bytes.getData();
  const void* zero = std::memchr(data, 0, bytes.getSize());
  const uint32_t length = zero ? uint32_t(static_cast<const unsigned char*>(zero) - data) : bytes.getSize();
  headerText.setAnsiBytes(data, int(length));
  if (result == Receive::kTooLong) {
    log_.logError("Reply header exceeds the size limit");
    log_.logDataLong("maxHeaderBytes", int32_t(limits_.maxHeaderBytes));
  }
  return result;
}

void HttpUploadImpl::logReceiveFailure(const char* message) {
  if (callback_ && callback_->wasAborted()) log_.logError("Aborted by application");
  log_.logError(message);
}

bool HttpUploadImpl::readReply() {
  statusCode_ = 0;
  replyHeaderText_.clear();
  replyBody_.clear();

  Receive received = receiveHeader(replyHeaderText_);
  if (received != Receive::kMatched) {
    if (received == Receive::kFailed) logReceiveFailure("Failed to receive until double-CRLF");
    StringBuffer socketLog;
    if (connection_) connection_->lastErrorText(socketLog);
    log_.logData("socketLog", socketLog.getString());
    return false;
  }

  uint32_t interim = 0;
  while (isInterimContinue(replyHeaderText_)) {
    if (++interim > limits_.maxInterimReplies) {
      log_.logError("Too many interim 100 Continue replies");
      log_.logDataLong("maxInterimReplies", int32_t(limits_.maxInterimReplies));
      return false;
    }
    replyHeaderText_.clear();
    received = receiveHeader(replyHeaderText_);
    if (received == Receive::kFailed) logReceiveFailure("Failed to receive after 100 Continue");
    if (received != Receive::kMatched) return false;
  }

  ReplyHeader header;
  header.parse(replyHeaderText_.getUtf8());
  statusCode_ = header.getStatusCode();
  if (statusCode_ == 0) {
    log_.logError("Received unexpected HTTP response");
    return false;
  }

  replyBody_.clear();
  if (!readReplyBody(header)) {
    log_.logError("Failed to fetch response data.");
    return false;
  }

  const unsigned char* body = replyBody_.getData();
  if (replyBody_.getSize() > 10 && body[0] == 0x1F && body[1] == 0x8B) {
    DataBuffer unpacked;
    switch (gunzip(body, replyBody_.getSize(), limits_.maxBodyBytes, unpacked, log_)) {
      case GunzipResult::kOk: replyBody_.takeFrom(unpacked); break;
      case GunzipResult::kInvalid: break;  // the body stays as it came
      case GunzipResult::kTooLarge: return false;
    }
  }
  return true;
}

bool HttpUploadImpl::bodyWithinLimit() {
  if (replyBody_.getSize() <= limits_.maxBodyBytes) return true;
  log_.logError("Reply body exceeds the size limit");
  log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
  return false;
}

bool HttpUploadImpl::readReplyBody(const ReplyHeader& header) {
  if (!connection_) {
    log_.logError("Failed to read response data");
    return false;
  }
  StringBuffer encoding;
  if (header.getField("Transfer-Encoding", encoding) && encoding.equalsIgnoreCase("chunked")) return readChunkedBody();

  const int32_t contentLength = header.getContentLength();
  if (contentLength > 0) {
    if (uint64_t(replyBody_.getSize()) + uint32_t(contentLength) > limits_.maxBodyBytes) {
      log_.logError("Reply body exceeds the size limit");
      log_.logDataLong("contentLength", contentLength);
      log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
      return false;
    }
    if (!connection_->ReceiveBytesN(uint32_t(contentLength), replyBody_, callback_, false)) {
      log_.logError("Failed to read response data");
      return false;
    }
    return true;
  }
  if (!connection_->ReceiveBytes(replyBody_, callback_)) {
    log_.logError("Failed to read response data");
    return false;
  }
  return bodyWithinLimit();
}

bool HttpUploadImpl::readChunkedBody() {
  DataBuffer line;
  for (;;) {
    const Receive received = receiveUntil("\r\n", line);
    if (received != Receive::kMatched) {
      log_.logError("Failed to response chunk size");
      if (received == Receive::kTooLong) {
        log_.logError("Chunk size line exceeds the size limit");
        log_.logDataLong("maxLineBytes", int32_t(limits_.maxHeaderBytes));
      }
      return false;
    }
    line.appendChar(0);
    uint64_t size = 0;
    const char* why = nullptr;
    switch (parseChunkSize(reinterpret_cast<const char*>(line.getData()), &size, &why)) {
      case ChunkSize::kNone: return true;
      case ChunkSize::kInvalid:
        log_.logError(why);
        return false;
      case ChunkSize::kNumber: break;
    }
    if (size == 0) {
      receiveUntil("\r\n", line);  // the line that ends the chunked body; its outcome does not matter
      return true;
    }
    if (size > limits_.maxBodyBytes - replyBody_.getSize()) {
      log_.logError("Chunk size exceeds the reply body limit");
      log_.logData("chunkSize", std::to_string(size).c_str());
      log_.logDataLong("maxBodyBytes", int32_t(limits_.maxBodyBytes));
      return false;
    }
    if (!connection_->ReceiveBytesN(uint32_t(size), replyBody_, callback_, false)) {
      log_.logError("Failed to get chunked response data");
      return false;
    }
    DataBuffer lineEnd;
    if (!connection_->ReceiveBytesN(2, lineEnd, callback_, false)) {
      log_.logError("Failed to get CRLF in chunked response data");
      return false;
    }
  }
}

}  // namespace component
