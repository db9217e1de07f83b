#include "service/reply_framing.h"

#include <algorithm>

namespace service {
namespace {

// Longer lines are not what a service reply looks like; give up following it.
constexpr size_t kMaxLine = 64 * 1024;
// Bodies beyond this are surely not ours, and stay clear of overflow.
constexpr uint64_t kMaxLength = uint64_t(1) << 48;

std::string lowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return text;
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool parseDecimal(const std::string& text, uint64_t* value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
    if (v > kMaxLength) return false;
  }
  *value = v;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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
          if (state_ == State::kStatusLine && line_.size() <= 5 && c != "HTTP/"[line_.size() - 1]) {
            state_ = State::kUntilClose;
          }
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
  // "HTTP/1.1 200 OK": a version, one blank, three digits.
  if (line.compare(0, 5, "HTTP/") != 0) {
    state_ = State::kUntilClose;
    return;
  }
  const size_t blank = line.find(' ');
  if (blank == std::string::npos || line.size() < blank + 4) {
    state_ = State::kUntilClose;
    return;
  }
  int status = 0;
  for (size_t k = blank + 1; k < blank + 4; ++k) {
    if (line[k] < '0' || line[k] > '9') {
      state_ = State::kUntilClose;
      return;
    }
    status = status * 10 + (line[k] - '0');
  }
  if (line.size() > blank + 4 && line[blank + 4] != ' ') {
    state_ = State::kUntilClose;
    return;
  }
  status_ = status;
  sawTransferEncoding_ = false;
  lastCoding_.clear();
  sawLength_ = false;
  lengthValid_ = true;
  length_ = 0;
  state_ = State::kHeaders;
}

void ReplyFraming::takeHeader(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) {
    state_ = State::kUntilClose;
    return;
  }
  const std::string name = lowerCase(trimmed(line.substr(0, colon)));
  const std::string value = trimmed(line.substr(colon + 1));
  if (name == "transfer-encoding") {
    sawTransferEncoding_ = true;
    // The codings apply in order; only the last one frames the body.
    const size_t comma = value.rfind(',');
    lastCoding_ = lowerCase(trimmed(comma == std::string::npos ? value : value.substr(comma + 1)));
  } else if (name == "content-length") {
    uint64_t length = 0;
    if (!parseDecimal(value, &length) || (sawLength_ && length != length_)) lengthValid_ = false;
    sawLength_ = true;
    length_ = length;
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
    state_ = lastCoding_ == "chunked" ? State::kChunkSize : State::kUntilClose;
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
  size_t k = 0;
  for (; k < line.size() && hexDigit(line[k]) >= 0; ++k) {
    size = size * 16 + uint64_t(hexDigit(line[k]));
    if (size > kMaxLength) {
      state_ = State::kUntilClose;
      return;
    }
  }
  const std::string rest = trimmed(line.substr(k));
  if (k == 0 || (!rest.empty() && rest[0] != ';')) {
    state_ = State::kUntilClose;
    return;
  }
  if (size == 0) {
    state_ = State::kTrailers;
  } else {
    remaining_ = size;
    state_ = State::kChunkData;
  }
}

}  // namespace service
