#pragma once
// Where the service requests go, how long one may take, and whom a secure
// connection trusts. The service host is "kestrova.com" on port 80; tests,
// demos and staging point the client elsewhere with the environment variable
// KESTROVA_SERVICE=[https://|http://]host[:port] (the console also takes
// --service), and name their own trusted certificates with KESTROVA_CA_FILE
// (the console also takes --cacert).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/web_address.h"

namespace app {

class ProxyChoice;

extern const char kServiceHost[];  // "kestrova.com"
constexpr uint16_t kServicePort = kHttpPort;
constexpr uint16_t kSecureServicePort = kHttpsPort;

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
  // The service requests go over TLS, checked against `caFile`.
  bool secure = false;
  // A PEM file whose certificates are the only trusted roots of every secure
  // connection of the run, the uploads' too; empty: the system's roots.
  std::string caFile;
  FetchLimits limits;
  // The proxy rule of every connection of the run, the uploads' too (see
  // app/proxy.h); null: every connection goes direct.
  std::shared_ptr<const ProxyChoice> proxy;

  // "http://host/" or "https://host/", with ":port" when the port is not the
  // scheme's own: the root of the service's web site, under which the album
  // pages lie.
  std::string siteRoot() const;
};

// Reads "host" or "host:port", plain, or the same behind "http://" or
// "https://" (port 443 unless given), with one "/" allowed at the end: an
// address for AddressUse::kService (see app/web_address.h). False, with *out
// untouched, for anything else.
bool parseServiceEndpoint(const std::string& text, ServiceEndpoint* out);

// The service a run talks to, read into *out: `option` (the console's
// --service; null when not given), else KESTROVA_SERVICE when it is set; with
// neither, *out stays as it is (kestrova.com:80 when fresh). A text that does
// not read as an endpoint, an empty one included, is never passed over for
// another service: false, and *why names where the text came from and what
// it must look like.
bool chooseServiceEndpoint(const std::string* option, ServiceEndpoint* out, std::string* why);

// The trusted roots of the run into out->caFile: `option` (the console's
// --cacert; null when not given), else KESTROVA_CA_FILE when it is set. An
// empty name is refused rather than taken for the system's roots: false, and
// *why says so. The file itself is read by each handshake, whose failure
// names it.
bool chooseCaFile(const std::string* option, ServiceEndpoint* out, std::string* why);

}  // namespace app
