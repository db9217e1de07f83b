#pragma once
// ReplyHeader: the status line and header fields of an HTTP reply, taken from
// the header text up to and including its empty line, read as the upload has
// always read them (protocol::Reading::kLenient).
#include <cstdint>

#include "component/base/string_buffer.h"
#include "protocol/reply_text.h"

namespace component {

class ReplyHeader {
 public:
  // Resets every field, then reads what it can. A text that does not start with
  // "HTTP" keeps the status code 0.
  void parse(const char* text);

  int32_t getStatusCode() const { return statusCode_; }
  int32_t getContentLength() const { return contentLength_; }
  bool hasContentLength() const { return hasContentLength_; }
  const StringBuffer& statusLine() const { return statusLine_; }
  // Copies the value of the first field whose name matches without regard to
  // letter case; false when there is none.
  bool getField(const char* name, StringBuffer& out) const;

 private:
  int32_t statusCode_ = 0;
  StringBuffer statusLine_;
  protocol::HeaderFields fields_;
  int32_t contentLength_ = 0;
  bool hasContentLength_ = false;
};

}  // namespace component
