#include "component/http/reply_header.h"

#include <cctype>
#include <cstring>
#include <string>

namespace component {
namespace {

constexpr protocol::Reading kLenient = protocol::Reading::kLenient;
constexpr const char kContentLength[] = "\r\nContent-Length:";

const char* findIgnoringCase(const char* text, const char* pattern) {
  const size_t n = std::strlen(pattern);
  for (const char* p = text; *p; ++p) {
    size_t i = 0;
    while (i < n && p[i] &&
           std::tolower(static_cast<unsigned char>(p[i])) == std::tolower(static_cast<unsigned char>(pattern[i]))) {
      ++i;
    }
    if (i == n) return p;
  }
  return nullptr;
}

int32_t clamped(int64_t v) { return int32_t(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

}  // namespace

void ReplyHeader::parse(const char* text) {
  statusCode_ = 0;
  statusLine_.clear();
  fields_.clear();
  contentLength_ = 0;
  hasContentLength_ = false;
  if (!text) return;

  // The status line ends at its own line end: a status line without a reason
  // phrase ("HTTP/1.1 200") must not take anything from the lines after it.
  const char* lineEnd = text + std::strcspn(text, "\r\n");
  if (*lineEnd) statusLine_.appendBytes(text, int(lineEnd - text));
  statusCode_ = protocol::statusCode(std::string_view(text, size_t(lineEnd - text)), kLenient);
  if (statusCode_ == 0) return;

  // The length is found where a line starts with its name, as the upload has
  // always found it, whether or not the line reads as a field.
  if (const char* cl = findIgnoringCase(text, kContentLength)) {
    hasContentLength_ = true;
    int64_t length = 0;
    if (protocol::parseDecimal(cl + std::strlen(kContentLength), kLenient, &length)) contentLength_ = clamped(length);
  }

  const char* rest = lineEnd;
  while (*rest == '\r' || *rest == '\n' || *rest == ' ' || *rest == '\t') ++rest;
  fields_ = protocol::parseHeaderFields(rest);
}

bool ReplyHeader::getField(const char* name, StringBuffer& out) const {
  const std::string* value = protocol::findField(fields_, name);
  if (!value) return false;
  out.clear();
  out.append(value->c_str());
  return true;
}

}  // namespace component
