#pragma once
// Proxies for tests. RealProxy is Debian's tinyproxy on a free port of
// 127.0.0.1, with a configuration of its own that asks for Basic credentials
// (kUser, kPassword); natively the test starts it, and under Wine, where a
// Windows program cannot, it is the one that scripts/test started, named by
// FLINGPOST_TEST_PROXY. SystemProxyScope sets the system's proxy setting for
// its lifetime (and clears it afterwards): the environment on POSIX, the
// current user's Internet Options on Windows.
#include <cstdint>
#include <string>

namespace testsupport {

class RealProxy {
 public:
  static constexpr const char* kUser = "flingpost";
  static constexpr const char* kPassword = "s3cret";

  RealProxy();
  ~RealProxy();
  RealProxy(const RealProxy&) = delete;
  RealProxy& operator=(const RealProxy&) = delete;

  bool ready() const { return port_ != 0; }
  const std::string& whyNot() const { return whyNot_; }
  // "127.0.0.1:PORT", and as a proxy address with `user`:`password`.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& user = kUser, const std::string& password = kPassword) const {
    return "http://" + user + ":" + password + "@" + address();
  }
  // The proxy's log so far, a line for each request it passed on ("" under Wine).
  std::string log() const;

 private:
  uint16_t port_ = 0;
  std::string whyNot_;
  long pid_ = 0;
  std::string dir_;
};

class SystemProxyScope {
 public:
  // `proxy` ("host:port") for http and https; `bypass` in the system's form.
  SystemProxyScope(const std::string& proxy, const std::string& bypass);
  ~SystemProxyScope();
  SystemProxyScope(const SystemProxyScope&) = delete;
  SystemProxyScope& operator=(const SystemProxyScope&) = delete;
};

}  // namespace testsupport
