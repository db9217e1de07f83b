#include "app/service_endpoint.h"

#include <cctype>
#include <cstdlib>

namespace app {

const char kServiceHost[] = "kestrova.com";

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

std::string ServiceEndpoint::siteRoot() const {
  std::string root = (secure ? "https://" : "http://") + host;
  if (port != (secure ? kSecureServicePort : kServicePort)) root += ":" + std::to_string(port);
  return root + "/";
}

bool parseServiceEndpoint(const std::string& given, ServiceEndpoint* out) {
  bool secure = false;
  const size_t scheme = webScheme(given, &secure);
  std::string text = given.substr(scheme);
  // As pasted from a browser's address bar.
  if (scheme > 0 && !text.empty() && text.back() == '/') text.pop_back();
  const size_t colon = text.find(':');
  const std::string host = text.substr(0, colon);
  if (host.empty()) return false;
  for (unsigned char c : host) {
    if (c <= ' ' || c == 0x7F || c == '/' || c == '\\') return false;
  }
  uint32_t port = secure ? kSecureServicePort : kServicePort;
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
  out->secure = secure;
  return true;
}

bool chooseServiceEndpoint(const std::string* option, ServiceEndpoint* out, std::string* problem) {
  const char* variable = std::getenv("KESTROVA_SERVICE");
  if (!option && !variable) return true;
  const std::string text = option ? *option : std::string(variable);
  if (parseServiceEndpoint(text, out)) return true;
  *problem = std::string(option ? "--service" : "KESTROVA_SERVICE") + " is \"" + text +
             "\", which is not HOST[:PORT] (a host name, and a port from 1 to 65535). It may begin with https:// "
             "(port 443 unless given) or http://.";
  return false;
}

bool chooseCaFile(const std::string* option, ServiceEndpoint* out, std::string* problem) {
  const char* variable = std::getenv("KESTROVA_CA_FILE");
  if (!option && !variable) return true;
  const std::string name = option ? *option : std::string(variable);
  if (name.empty()) {
    *problem = std::string(option ? "--cacert" : "KESTROVA_CA_FILE") +
               " is empty: name a PEM file of trusted certificates, or leave it out to trust the system's.";
    return false;
  }
  out->caFile = name;
  return true;
}

}  // namespace app
