#pragma once
// Where the service requests go, and how long one may take. The service host is
// "kestrova.com" on port 80; tests, demos and staging point the client elsewhere
// with the environment variable KESTROVA_SERVICE=host[:port] (the console also
// takes --service).
#include <cstddef>
#include <cstdint>
#include <string>

namespace app {

extern const char kServiceHost[];  // "kestrova.com"
constexpr uint16_t kServicePort = 80;

// The bounds of one service request; a server cannot hold the client longer.
struct FetchLimits {
  // The fetch ends when the server has sent nothing for this long.
  uint32_t idleTimeoutMs = 30000;
  // Replies are small XML documents; more than this is kept up to the cap.
  size_t maxReplyBytes = size_t(8) << 20;
  // A connect that has had no answer for this long has failed.
  uint32_t connectTimeoutMs = 30000;
  // From the connect on, the whole exchange ends after this long, however the
  // server paces its bytes.
  uint32_t overallTimeoutMs = 60000;
};

struct ServiceEndpoint {
  std::string host = kServiceHost;  // also the text of every request's Host: line
  uint16_t port = kServicePort;
  FetchLimits limits;

  // "http://host/", or "http://host:port/" for any port but 80: the root of the
  // service's web site, under which the album pages lie.
  std::string siteRoot() const;
};

// Reads "host" or "host:port" (port a decimal number 1..65535). The host must be
// non-empty and hold no blank, control character, "/" or ":". False, with *out
// untouched, for anything else.
bool parseServiceEndpoint(const std::string& text, ServiceEndpoint* out);

// The service a run talks to, read into *out: `option` (the console's
// --service; null when not given), else KESTROVA_SERVICE when it is set; with
// neither, *out stays as it is (kestrova.com:80 when fresh). A text that does
// not read as an endpoint, an empty one included, is never passed over for
// another service: false, and *problem names where the text came from and what
// it must look like.
bool chooseServiceEndpoint(const std::string* option, ServiceEndpoint* out, std::string* problem);

}  // namespace app
