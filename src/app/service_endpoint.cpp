#include "app/service_endpoint.h"

#include <cstdlib>

namespace app {

const char kServiceHost[] = "kestrova.com";

std::string ServiceEndpoint::siteRoot() const {
  std::string root = (secure ? "https://" : "http://") + host;
  if (port != (secure ? kSecureServicePort : kServicePort)) root += ":" + std::to_string(port);
  return root + "/";
}

bool parseServiceEndpoint(const std::string& text, ServiceEndpoint* out) {
  WebAddress address;
  if (!parseWebAddress(text, AddressUse::kService, &address)) return false;
  out->host = address.host;
  out->port = address.port;
  out->secure = address.secure;
  return true;
}

bool chooseServiceEndpoint(const std::string* option, ServiceEndpoint* out, std::string* why) {
  const char* variable = std::getenv("KESTROVA_SERVICE");
  if (!option && !variable) return true;
  const std::string text = option ? *option : std::string(variable);
  if (parseServiceEndpoint(text, out)) return true;
  *why = std::string(option ? "--service" : "KESTROVA_SERVICE") + " is \"" + text +
             "\", which is not HOST[:PORT] (a host name, and a port from 1 to 65535). It may begin with https:// "
             "(port 443 unless given) or http://.";
  return false;
}

bool chooseCaFile(const std::string* option, ServiceEndpoint* out, std::string* why) {
  const char* variable = std::getenv("KESTROVA_CA_FILE");
  if (!option && !variable) return true;
  const std::string name = option ? *option : std::string(variable);
  if (name.empty()) {
    *why = std::string(option ? "--cacert" : "KESTROVA_CA_FILE") +
               " is empty: name a PEM file of trusted certificates, or leave it out to trust the system's.";
    return false;
  }
  out->caFile = name;
  return true;
}

}  // namespace app
