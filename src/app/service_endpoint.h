#pragma once
// Where the service requests go. The service host is "kestrova.com" on port 80;
// tests, demos and staging point the client elsewhere with the environment
// variable KESTROVA_SERVICE=host[:port] (the console also takes --service).
#include <cstdint>
#include <string>

namespace app {

extern const char kServiceHost[];  // "kestrova.com"
constexpr uint16_t kServicePort = 80;

struct ServiceEndpoint {
  std::string host = kServiceHost;  // also the text of every request's Host: line
  uint16_t port = kServicePort;

  // "http://host/", or "http://host:port/" for any port but 80: the root of the
  // service's web site, under which the album pages lie.
  std::string siteRoot() const;
};

// Reads "host" or "host:port" (port a decimal number 1..65535). The host must be
// non-empty and hold no blank, control character, "/" or ":". False, with *out
// untouched, for anything else.
bool parseServiceEndpoint(const std::string& text, ServiceEndpoint* out);

// The endpoint named by KESTROVA_SERVICE when it is set and well-formed,
// otherwise kestrova.com:80.
ServiceEndpoint serviceEndpoint();

}  // namespace app
