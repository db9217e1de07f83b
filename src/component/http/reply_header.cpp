#include "component/http/reply_header.h"

#include <cctype>
#include <cstring>

namespace component {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal number in the manner of "%d": leading white space skipped, an
// optional sign, then digits. Values beyond 32 bits are clamped, not wrapped.
bool readDecimal(const char* p, int32_t* value) {
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  int64_t v = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    if (v <= INT32_MAX) v = v * 10 + (*p - '0');
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *value = int32_t(v);
  return true;
}

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

std::string trimmed(const char* begin, const char* end) {
  while (begin < end && (isBlank(*begin) || *begin == '\r' || *begin == '\n')) ++begin;
  while (end > begin && (isBlank(end[-1]) || end[-1] == '\r' || end[-1] == '\n')) --end;
  return std::string(begin, end);
}

}  // namespace

void parseHeaderFields(const char* text, HeaderFields& out) {
  out.clear();
  const char* p = text;
  while (p && *p) {
    const char* eol = std::strchr(p, '\n');
    const char* end = eol ? eol : p + std::strlen(p);
    const char* lineEnd = (end > p && end[-1] == '\r') ? end - 1 : end;
    if (lineEnd == p) break;  // the empty line ends the header
    if (isBlank(*p)) {
      if (!out.empty()) {
        std::string more = trimmed(p, lineEnd);
        if (!more.empty()) {
          std::string& value = out.back().second;
          if (!value.empty()) value += ' ';
          value += more;
        }
      }
    } else {
      const char* colon = static_cast<const char*>(std::memchr(p, ':', size_t(lineEnd - p)));
      if (colon) out.emplace_back(trimmed(p, colon), trimmed(colon + 1, lineEnd));
    }
    p = eol ? eol + 1 : end;
  }
}

void ReplyHeader::parse(const char* text) {
  statusCode_ = 0;
  reasonPhrase_.clear();
  statusLine_.clear();
  fields_.clear();
  contentLength_ = 0;
  hasContentLength_ = false;
  if (!text) return;

  // The status line ends at its own line end: a status line without a reason
  // phrase ("HTTP/1.1 200") must not take anything from the lines after it.
  const char* lineEnd = text + std::strcspn(text, "\r\n");
  if (*lineEnd) statusLine_.appendBytes(text, int(lineEnd - text));
  const std::string line(text, lineEnd);
  if (line.compare(0, 4, "HTTP") != 0) return;

  const size_t firstBlank = line.find(' ');
  if (firstBlank == std::string::npos || !readDecimal(line.c_str() + firstBlank + 1, &statusCode_)) return;
  const size_t nextBlank = line.find(' ', firstBlank + 1);
  if (nextBlank != std::string::npos) {
    reasonPhrase_.append(line.c_str() + nextBlank);
    reasonPhrase_.trim();
  }

  if (const char* cl = findIgnoringCase(text, "\r\nContent-Length:")) {
    hasContentLength_ = true;
    if (!readDecimal(cl + std::strlen("\r\nContent-Length:"), &contentLength_)) contentLength_ = 0;
  }

  const char* rest = lineEnd;
  while (*rest == '\r' || *rest == '\n' || isBlank(*rest)) ++rest;
  parseHeaderFields(rest, fields_);
}

bool ReplyHeader::getField(const char* name, StringBuffer& out) const {
  for (const auto& field : fields_) {
    StringBuffer candidate(field.first.c_str());
    if (candidate.equalsIgnoreCase(name)) {
      out.clear();
      out.append(field.second.c_str());
      return true;
    }
  }
  return false;
}

}  // namespace component
