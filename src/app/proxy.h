#pragma once
// Which HTTP proxy, if any, each connection of the run goes through: the one
// named by the console's --proxy or by KESTROVA_PROXY (for every address), or
// else the system's setting (Windows: Internet Options or group policy, with
// automatic detection and configuration scripts; Linux: https_proxy,
// http_proxy and no_proxy as curl reads them), which never applies to loopback
// addresses. The service requests and the uploads ask the same rule.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
struct SystemProxy;
}

namespace app {

// A proxy, as an address names it: "[http://][USER[:PASSWORD]@]HOST[:PORT][/]".
struct ProxyServer {
  std::string host;
  uint16_t port = 0;
  std::string user;      // percent-decoded; empty: no sign-in
  std::string password;  // percent-decoded
  // "HOST:PORT", how messages name the proxy: never with the password.
  std::string address() const;
  // "Basic " and the Base64 of "USER:PASSWORD"; "" without a user.
  std::string authorization() const;
};

// Reads a proxy address, an address for AddressUse::kProxy (see
// app/web_address.h); `defaultPort` when it names no port. False, with *why
// (when given) saying what is wrong, for a host that is not a host name, a bad
// port, or a scheme other than http:// (a proxy spoken to over TLS or SOCKS is
// not supported).
bool parseProxyAddress(const std::string& text, uint16_t defaultPort, ProxyServer* out, std::string* why = nullptr);

// "localhost", 127.x.x.x and ::1 (also in brackets).
bool isLoopbackHost(const std::string& host);

// The proxy for `secure` (https) or plain `host`:`port` under a system setting
// (see platform/proxy.h): the per-scheme list or the scheme's variable, unless
// the bypass list (Windows: "<local>" for names without a dot, and "*"
// patterns) or no_proxy (curl's: "*", names matching as domain suffixes, IPv4
// addresses and ranges) or loopback says direct. Entries that name no usable
// http:// proxy are passed over.
std::optional<ProxyServer> systemProxyFor(const platform::SystemProxy& setting, bool secure, const std::string& host,
                                          uint16_t port);

// The run's rule, shared by every connection and thread. A system setting is
// read once, on a thread of its own, and waited for at most kSystemProxyWaitMs
// by the connections that need it; past that the run goes direct.
class ProxyChoice {
 public:
  static constexpr uint32_t kSystemProxyWaitMs = 10000;

  // No proxy at all.
  static std::shared_ptr<ProxyChoice> none();
  // `server` for every address, loopback included.
  static std::shared_ptr<ProxyChoice> named(const ProxyServer& server);
  // The system's setting; where detection or a configuration script decides,
  // it answers for `probeUrl`, the service's site, and that answer serves the
  // whole run. The read starts at once unless `later`.
  static std::shared_ptr<ProxyChoice> system(const std::string& probeUrl, bool later);

  std::optional<ProxyServer> forAddress(bool secure, const std::string& host, uint16_t port) const;
  // The proxy was named (--proxy, KESTROVA_PROXY) rather than taken from the system.
  bool named() const { return kind_ == Kind::kNamed; }

 private:
  enum class Kind { kNone, kNamed, kSystem };
  struct SystemRead;
  explicit ProxyChoice(Kind kind) : kind_(kind) {}
  void startReading() const;

  Kind kind_;
  ProxyServer server_;
  std::shared_ptr<SystemRead> read_;
};

// The proxy of a connection to `host`:`port` under `choice` (null: none).
std::optional<ProxyServer> proxyFor(const std::shared_ptr<const ProxyChoice>& choice, bool secure,
                                    const std::string& host, uint16_t port);

struct ServiceEndpoint;

// The proxy rule of the run into out->proxy: `option` (the console's --proxy,
// "" for its --noproxy; null when neither was given), else KESTROVA_PROXY when
// it is set ("none": no proxy), else the system's setting, read in the
// background from now on unless the service is on loopback. A named proxy that
// does not read as one is refused: false, and *why names where it came
// from and what it must look like.
bool chooseProxy(const std::string* option, ServiceEndpoint* out, std::string* why);

}  // namespace app
