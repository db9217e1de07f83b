#pragma once
// ReplyHeader: the status line and header fields of an HTTP reply, taken from
// the header text up to and including its empty line.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "component/base/string_buffer.h"

namespace component {

// An ordered list of header fields from "Name: value" lines. Continuation lines
// (starting with a blank or tab) join the previous value with one blank; lines
// without a colon are skipped; an empty line ends the list.
using HeaderFields = std::vector<std::pair<std::string, std::string>>;
void parseHeaderFields(const char* text, HeaderFields& out);

class ReplyHeader {
 public:
  // Resets every field, then reads what it can. A text that does not start with
  // "HTTP" keeps the status code 0.
  void parse(const char* text);

  int32_t getStatusCode() const { return statusCode_; }
  int32_t getContentLength() const { return contentLength_; }
  bool hasContentLength() const { return hasContentLength_; }
  const StringBuffer& reasonPhrase() const { return reasonPhrase_; }
  const StringBuffer& statusLine() const { return statusLine_; }
  const HeaderFields& fields() const { return fields_; }
  // Copies the value of the first field whose name matches without regard to
  // letter case; false when there is none.
  bool getField(const char* name, StringBuffer& out) const;

 private:
  int32_t statusCode_ = 0;
  StringBuffer reasonPhrase_;
  StringBuffer statusLine_;
  HeaderFields fields_;
  int32_t contentLength_ = 0;
  bool hasContentLength_ = false;
};

}  // namespace component
