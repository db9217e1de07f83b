#pragma once
// Follows the framing of an HTTP/1.x reply as its bytes arrive, to tell when the
// reply is complete. The service requests do not ask the server to close the
// connection, so a keep-alive server would otherwise hold the fetch for its
// whole idle time after the reply has long arrived.
//
// Only the end of the reply is worked out here; the bytes up to that end are
// kept and used by the caller exactly as they came (headers and chunk lines too).
#include <cstddef>
#include <cstdint>
#include <string>

namespace service {

class ReplyFraming {
 public:
  // The next bytes of the reply, in order. Answers how many of them belong to
  // the reply: all of them, or fewer when the reply ends among them. Whatever
  // follows the end is not the reply's, however the connection cut the bytes.
  size_t feed(const char* data, size_t size);

  // True once the reply has ended by its own framing: the Content-Length body is
  // complete, or the zero chunk and the trailer section's empty line of a chunked
  // body have arrived, or the status has no body (1xx excluded, 204, 304).
  bool complete() const { return state_ == State::kDone; }
  // True when the reply carries no framing that can be followed (no length, an
  // unknown transfer coding, a malformed status line, header or chunk line): it
  // then ends only when the server closes the connection.
  bool endsAtClose() const { return state_ == State::kUntilClose; }

 private:
  enum class State {
    kStatusLine,    // reading "HTTP/1.x NNN reason"
    kHeaders,       // reading header lines up to the empty line
    kBody,          // counting down a Content-Length body
    kChunkSize,     // reading a chunk-size line: hex digits, maybe ";extensions"
    kChunkData,     // inside a chunk's data
    kChunkDataEnd,  // the line break that closes a chunk's data
    kTrailers,      // trailer lines after the zero chunk, up to the empty line
    kUntilClose,    // nothing to follow: the reply ends at the server's close
    kDone,          // complete
  };

  // One whole line (its "\n" and a "\r" before it removed) in a line state.
  void takeLine(const std::string& line);
  void takeStatusLine(const std::string& line);
  void takeHeader(const std::string& line);
  void endOfHeaders();
  void takeChunkSize(const std::string& line);

  State state_ = State::kStatusLine;
  std::string line_;
  int status_ = 0;
  bool sawTransferEncoding_ = false;
  std::string lastCoding_;
  bool sawLength_ = false;
  bool lengthValid_ = true;
  uint64_t length_ = 0;
  uint64_t remaining_ = 0;
};

}  // namespace service
