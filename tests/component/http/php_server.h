#pragma once
// PHP's development server on a free loopback port for one test, serving a
// given folder. Tests that need it skip when PHP is not installed (or the
// system cannot start it, as under Wine).
#include <cstdint>
#include <string>

namespace httptest {

class PhpServer {
 public:
  explicit PhpServer(const std::string& documentRoot);
  ~PhpServer();
  PhpServer(const PhpServer&) = delete;
  PhpServer& operator=(const PhpServer&) = delete;

  bool running() const { return port_ != 0; }
  uint16_t port() const { return port_; }

 private:
  void stop();

  uint16_t port_ = 0;
  intptr_t process_ = 0;
};

}  // namespace httptest
