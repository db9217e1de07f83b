#include "app/web_address.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace app {
namespace {

bool isAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Null when `host` is a host name, else what is wrong with it.
const char* hostProblem(const std::string& host) {
  if (host.empty()) return "it names no host";
  const char* const notAName = "its host is not a host name";
  // A fully qualified name may end in a dot.
  const size_t end = host.back() == '.' ? host.size() - 1 : host.size();
  if (end == 0 || end > 253) return notAName;
  size_t label = 0;
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(host[i]);
    if (c == '.') {
      if (label == 0) return notAName;
      label = 0;
    } else if (!(isAsciiAlnum(c) || c == '-' || c == '_') || ++label > 63) {
      return notAName;
    }
  }
  return label > 0 ? nullptr : notAName;
}

bool parsePort(const std::string& digits, uint16_t* port) {
  if (digits.empty() || digits.size() > 5) return false;
  uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint32_t(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = uint16_t(value);
  return true;
}

// The path as it may stand in a request line; false, with *problem, for a path
// that holds a control character (a line feed would end the request line and
// start a header of the server's choosing).
bool requestPath(const std::string& path, std::string* out, std::string* problem) {
  static const char kHex[] = "0123456789ABCDEF";
  out->clear();
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == 0x7F) {
      char why[64];
      std::snprintf(why, sizeof why, "its path holds a control character (byte 0x%02X)", c);
      *problem = why;
      return false;
    }
    const bool escape = c == '%' && i + 2 < path.size() && isHexDigit(path[i + 1]) && isHexDigit(path[i + 2]);
    if (std::strchr(" \"<>\\^`{|}", c) || (c == '%' && !escape)) {
      *out += '%';
      *out += kHex[c >> 4];
      *out += kHex[c & 15];
    } else {
      *out += char(c);
    }
  }
  return true;
}

}  // namespace

size_t webScheme(const std::string& address, bool* secure) {
  static const char* const kSchemes[] = {"https://", "http://"};
  for (const char* scheme : kSchemes) {
    size_t i = 0;
    while (scheme[i] && i < address.size() && std::tolower(static_cast<unsigned char>(address[i])) == scheme[i]) ++i;
    if (scheme[i] == 0) {
      *secure = scheme == kSchemes[0];
      return i;
    }
  }
  *secure = false;
  return 0;
}

bool parseWebAddress(const std::string& text, AddressUse use, WebAddress* out, std::string* problem) {
  std::string why;
  const auto fail = [&](const std::string& reason) {
    if (problem) *problem = reason;
    return false;
  };
  WebAddress address;
  const size_t scheme = webScheme(text, &address.secure);
  if (scheme == 0 && use == AddressUse::kUpload) return fail("it does not begin with http:// or https://");
  if (address.secure) address.port = kHttpsPort;
  const size_t slash = text.find('/', scheme);
  const std::string authority = text.substr(scheme, slash == std::string::npos ? std::string::npos : slash - scheme);
  const std::string path = slash == std::string::npos ? "" : text.substr(slash);
  const size_t colon = authority.find(':');
  address.host = authority.substr(0, colon);
  if (const char* bad = hostProblem(address.host)) return fail(bad);
  if (colon != std::string::npos && !parsePort(authority.substr(colon + 1), &address.port)) {
    return fail("its port is not a number from 1 to 65535");
  }
  if (use == AddressUse::kService) {
    // At most the "/" of an address pasted from a browser's address bar.
    if (path.size() > 1) return fail("it names a path after the host");
  } else if (path.empty()) {
    return fail("it names no path after the host");
  } else if (!requestPath(path, &address.path, &why)) {
    return fail(why);
  }
  *out = address;
  return true;
}

}  // namespace app
