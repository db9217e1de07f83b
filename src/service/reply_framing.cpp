#include "service/reply_framing.h"

#include <algorithm>

#include "protocol/reply_text.h"

namespace service {
namespace {

// Longer lines are not what a service reply looks like; give up following it.
constexpr size_t kMaxLine = 64 * 1024;

constexpr protocol::Reading kStrict = protocol::Reading::kStrict;

}  // namespace

size_t ReplyFraming::feed(const char* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    switch (state_) {
      case State::kDone:
        return i;
      case State::kUntilClose:
        return size;
      case State::kBody:
      case State::kChunkData: {
        const size_t take = size_t(std::min<uint64_t>(remaining_, size - i));
        remaining_ -= take;
        i += take;
        if (remaining_ == 0) state_ = state_ == State::kBody ? State::kDone : State::kChunkDataEnd;
        break;
      }
      default: {
        const char c = data[i++];
        if (c != '\n') {
          line_ += c;
          if (line_.size() > kMaxLine) state_ = State::kUntilClose;
          // A reply that does not start like one (no status line) is not followed.
          if (state_ == State::kStatusLine && !protocol::startsLikeStatusLine(line_)) state_ = State::kUntilClose;
          break;
        }
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        std::string line;
        line.swap(line_);
        takeLine(line);
        break;
      }
    }
  }
  return size;
}

void ReplyFraming::takeLine(const std::string& line) {
  switch (state_) {
    case State::kStatusLine:
      takeStatusLine(line);
      break;
    case State::kHeaders:
      if (line.empty()) {
        endOfHeaders();
      } else {
        takeHeader(line);
      }
      break;
    case State::kChunkSize:
      takeChunkSize(line);
      break;
    case State::kChunkDataEnd:
      state_ = line.empty() ? State::kChunkSize : State::kUntilClose;
      break;
    case State::kTrailers:
      if (line.empty()) state_ = State::kDone;
      break;
    default:
      break;
  }
}

void ReplyFraming::takeStatusLine(const std::string& line) {
  status_ = protocol::statusCode(line, kStrict);
  if (status_ == 0) {
    state_ = State::kUntilClose;
    return;
  }
  sawTransferEncoding_ = false;
  lastCoding_.clear();
  sawLength_ = false;
  lengthValid_ = true;
  length_ = 0;
  state_ = State::kHeaders;
}

void ReplyFraming::takeHeader(const std::string& line) {
  // A folded line, or one without a colon, is no header this reader follows.
  std::string_view name, value;
  if (protocol::continuesField(line) || !protocol::parseHeaderLine(line, &name, &value)) {
    state_ = State::kUntilClose;
    return;
  }
  if (protocol::sameName(name, "Transfer-Encoding")) {
    sawTransferEncoding_ = true;
    // The codings apply in order; only the last one frames the body.
    const size_t comma = value.rfind(',');
    std::string_view last = comma == std::string_view::npos ? value : value.substr(comma + 1);
    while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
    lastCoding_ = last;
  } else if (protocol::sameName(name, "Content-Length")) {
    int64_t length = 0;
    if (!protocol::parseDecimal(value, kStrict, &length) || (sawLength_ && uint64_t(length) != length_)) {
      lengthValid_ = false;
    }
    sawLength_ = true;
    length_ = uint64_t(length);
  }
}

void ReplyFraming::endOfHeaders() {
  if (status_ >= 100 && status_ < 200) {
    // An interim reply; the real one follows. 101 hands the connection over.
    state_ = status_ == 101 ? State::kUntilClose : State::kStatusLine;
    return;
  }
  if (status_ == 204 || status_ == 304) {
    state_ = State::kDone;
    return;
  }
  if (sawTransferEncoding_) {
    state_ = protocol::sameName(lastCoding_, "chunked") ? State::kChunkSize : State::kUntilClose;
    return;
  }
  if (sawLength_ && lengthValid_) {
    remaining_ = length_;
    state_ = length_ == 0 ? State::kDone : State::kBody;
    return;
  }
  state_ = State::kUntilClose;
}

void ReplyFraming::takeChunkSize(const std::string& line) {
  uint64_t size = 0;
  if (protocol::parseChunkSize(line, kStrict, &size) != protocol::ChunkSize::kSize) {
    state_ = State::kUntilClose;
  } else if (size == 0) {
    state_ = State::kTrailers;
  } else {
    remaining_ = size;
    state_ = State::kChunkData;
  }
}

}  // namespace service
