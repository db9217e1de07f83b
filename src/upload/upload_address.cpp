#include "upload/upload_address.h"

#include <cstdlib>

#include "app/service_endpoint.h"

namespace upload {

bool splitUploadAddress(const std::string& address, UploadTarget* out) {
  const size_t slash = address.find('/');
  if (slash == std::string::npos || address.compare(slash, 2, "//") != 0) return false;
  const size_t hostStart = slash + 2;
  const size_t pathStart = address.find('/', hostStart);
  if (pathStart == std::string::npos || pathStart == hostStart) return false;
  UploadTarget t;
  app::webScheme(address, &t.secure);
  if (t.secure) t.port = app::kSecureServicePort;
  t.host = address.substr(hostStart, pathStart - hostStart);
  t.path = address.substr(pathStart);
  // An address may name a port ("host:8080"): the connection needs it, while
  // the Host line carries the name alone.
  const size_t colon = t.host.rfind(':');
  if (colon != std::string::npos) {
    const std::string digits = t.host.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const long port = std::strtol(digits.c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return false;
    t.port = int(port);
    t.host.resize(colon);
  }
  if (t.host.empty()) return false;
  *out = t;
  return true;
}

}  // namespace upload
