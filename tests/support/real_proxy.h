#pragma once
// Proxies for tests. RealProxy is Debian's tinyproxy on a free port of
// 127.0.0.1 with a configuration of its own, asking for Basic credentials
// (kUser, kPassword): natively the test starts it; under Wine it is the one
// that scripts/test started, named by FLINGPOST_TEST_PROXY. SystemProxyScope
// sets the system's proxy setting while it lives: the environment on POSIX,
// the current user's Internet Options on Windows.
#include <cstdint>
#include <string>

namespace testsupport {

class RealProxy {
 public:
  static constexpr const char* kUser = "flingpost";
  RealProxy();
  ~RealProxy();
  bool ready() const { return port_ != 0; }
  const std::string& whyNot() const { return whyNot_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& password = "s3cret") const {
    return "http://" + std::string(kUser) + ":" + password + "@" + address();
  }
  std::string log() const;  // a line per request passed on ("" under Wine)

 private:
  uint16_t port_ = 0;
  std::string whyNot_, dir_;
  long pid_ = 0;
};

struct SystemProxyScope {
  // `proxy` ("host:port") for http and https; `bypass` as the system writes it.
  SystemProxyScope(const std::string& proxy, const std::string& bypass);
  ~SystemProxyScope();
};

}  // namespace testsupport
