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

// True when `host` is a host name: dot-separated labels of 1 to 63 letters,
// digits, "-" and "_", at most 253 characters, and a fully qualified name may
// end in a dot.
bool isHostName(const std::string& host) {
  const size_t end = !host.empty() && host.back() == '.' ? host.size() - 1 : host.size();
  if (end == 0 || end > 253) return false;
  size_t label = 0;
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(host[i]);
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (!(isAsciiAlnum(c) || c == '-' || c == '_') || ++label > 63) {
      return false;
    }
  }
  return label > 0;
}

// What is wrong with an address, in the words of its use.
struct Faults {
  const char* noHost;
  const char* badHost;
  const char* badPort;
};

const Faults& faultsOf(AddressUse use) {
  static const Faults kWeb{"it names no host", "its host is not a host name",
                           "its port is not a number from 1 to 65535"};
  static const Faults kProxy{"it names no proxy host", "it names no proxy host",
                             "the port must be a number from 1 to 65535"};
  return use == AddressUse::kProxy ? kProxy : kWeb;
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

bool parseWebAddress(const std::string& text, AddressUse use, WebAddress* out, std::string* why) {
  std::string problem;
  const auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  const Faults& faults = faultsOf(use);
  WebAddress address;
  const size_t scheme = webScheme(text, &address.secure);
  if (use == AddressUse::kProxy) {
    if (address.secure || (scheme == 0 && text.find("://") != std::string::npos)) {
      return fail("only http:// proxies are supported");
    }
  } else if (scheme == 0 && use == AddressUse::kUpload) {
    return fail("it does not begin with http:// or https://");
  }
  address.port = use == AddressUse::kProxy ? 0 : address.secure ? kHttpsPort : kHttpPort;
  std::string rest = text.substr(scheme);
  if (use == AddressUse::kProxy) {
    // Its sign-in ends at the last "@": a password may hold any character.
    const size_t at = rest.rfind('@');
    if (at != std::string::npos) {
      address.userInfo = rest.substr(0, at);
      rest.erase(0, at + 1);
    }
  }
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? "" : rest.substr(slash);
  const size_t colon = authority.find(':');
  address.host = authority.substr(0, colon);
  if (address.host.empty()) return fail(faults.noHost);
  if (!isHostName(address.host)) return fail(faults.badHost);
  if (colon != std::string::npos && !parsePort(authority.substr(colon + 1), &address.port)) {
    return fail(faults.badPort);
  }
  if (use != AddressUse::kUpload) {
    // At most the "/" of an address pasted from a browser's address bar.
    if (path.size() > 1) return fail("it names a path after the host");
  } else if (path.empty()) {
    return fail("it names no path after the host");
  } else if (!requestPath(path, &address.path, &problem)) {
    return fail(problem);
  }
  *out = address;
  return true;
}

}  // namespace app
