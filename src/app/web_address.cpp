#include "app/web_address.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace app {
namespace {

bool isAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether text[i] begins a "%XX" escape.
bool escapeAt(const std::string& text, size_t i) {
  return text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0;
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

// What each use of an address allows, stated once, and its words for what is
// wrong.
struct Rules {
  const char* noScheme;   // refuses an address without http:// or https:// (null: taken as http)
  const char* notHttp;    // refuses https:// and any other "...://" (null: https is taken)
  bool signIn;            // "USER[:PASSWORD]@" may stand before the host, whose port is then 0 unless named
  bool path;              // a path must follow the host (else at most a "/")
  const char* noHost;
  const char* badHost;
  const char* badPort;
};

const Rules& rulesOf(AddressUse use) {
  static const Rules kService{nullptr, nullptr, false, false, "it names no host", "its host is not a host name",
                              "its port is not a number from 1 to 65535"};
  static const Rules kUpload{"it does not begin with http:// or https://", nullptr, false, true, kService.noHost,
                             kService.badHost, kService.badPort};
  static const Rules kProxy{nullptr, "only http:// proxies are supported", true, false, "it names no proxy host",
                            "it names no proxy host", "the port must be a number from 1 to 65535"};
  return use == AddressUse::kProxy ? kProxy : use == AddressUse::kUpload ? kUpload : kService;
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
  out->clear();
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == 0x7F) {
      char why[64];
      std::snprintf(why, sizeof why, "its path holds a control character (byte 0x%02X)", c);
      *problem = why;
      return false;
    }
    if (std::strchr(" \"<>\\^`{|}", c) || (c == '%' && !escapeAt(path, i))) {
      appendPercentEscape(c, out);
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
  const auto fail = [why](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  const Rules& rules = rulesOf(use);
  WebAddress address;
  const size_t scheme = webScheme(text, &address.secure);
  if (scheme == 0 && rules.noScheme) return fail(rules.noScheme);
  if (rules.notHttp && (address.secure || (scheme == 0 && text.find("://") != std::string::npos))) {
    return fail(rules.notHttp);
  }
  address.port = rules.signIn ? 0 : address.secure ? kHttpsPort : kHttpPort;
  std::string rest = text.substr(scheme);
  // A sign-in ends at the last "@": a password may hold any character.
  const size_t at = rules.signIn ? rest.rfind('@') : std::string::npos;
  if (at != std::string::npos) {
    address.userInfo = rest.substr(0, at);
    rest.erase(0, at + 1);
  }
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? "" : rest.substr(slash);
  const size_t colon = authority.find(':');
  address.host = authority.substr(0, colon);
  if (address.host.empty()) return fail(rules.noHost);
  if (!isHostName(address.host)) return fail(rules.badHost);
  if (colon != std::string::npos && !parsePort(authority.substr(colon + 1), &address.port)) return fail(rules.badPort);
  std::string badPath;
  if (!rules.path) {
    // At most the "/" of an address pasted from a browser's address bar.
    if (path.size() > 1) return fail("it names a path after the host");
  } else if (path.empty()) {
    return fail("it names no path after the host");
  } else if (!requestPath(path, &address.path, &badPath)) {
    return fail(badPath);
  }
  *out = address;
  return true;
}

void appendPercentEscape(unsigned char c, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  *out += '%';
  *out += kHex[c >> 4];
  *out += kHex[c & 15];
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (escapeAt(text, i)) {
      out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace app
