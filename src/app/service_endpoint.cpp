#include "app/service_endpoint.h"

#include <cstdlib>

namespace app {

const char kServiceHost[] = "kestrova.com";

std::string ServiceEndpoint::siteRoot() const {
  std::string root = "http://" + host;
  if (port != 80) root += ":" + std::to_string(port);
  return root + "/";
}

bool parseServiceEndpoint(const std::string& text, ServiceEndpoint* out) {
  const size_t colon = text.find(':');
  const std::string host = text.substr(0, colon);
  if (host.empty()) return false;
  for (unsigned char c : host) {
    if (c <= ' ' || c == 0x7F || c == '/' || c == '\\') return false;
  }
  uint32_t port = kServicePort;
  if (colon != std::string::npos) {
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    port = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + uint32_t(c - '0');
    }
    if (port == 0 || port > 65535) return false;
  }
  out->host = host;
  out->port = uint16_t(port);
  return true;
}

bool chooseServiceEndpoint(const std::string* option, ServiceEndpoint* out, std::string* problem) {
  const char* variable = std::getenv("KESTROVA_SERVICE");
  if (!option && !variable) return true;
  const std::string text = option ? *option : std::string(variable);
  if (parseServiceEndpoint(text, out)) return true;
  *problem = std::string(option ? "--service" : "KESTROVA_SERVICE") + " is \"" + text +
             "\", which is not HOST[:PORT] (a host name, and a port from 1 to 65535).";
  return false;
}

}  // namespace app
