#pragma once
// The local stand-in of the Kestrova service (tools/devservice), started on a
// free loopback port and stopped with this object. Its state folder holds the
// stored files and uploads.log, one JSON line per upload.
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testsupport {

class DevService {
 public:
  // `env` sets DEVSERVICE_* variables for the service (e.g. DEVSERVICE_VERSION).
  explicit DevService(const std::map<std::string, std::string>& env = {});
  ~DevService();

  bool running() const { return !address_.empty(); }  // false: no PHP, or it did not come up
  const std::string& address() const { return address_; }  // "127.0.0.1:PORT"
  std::vector<std::string> uploadLog() const;
  std::string stateDir() const { return state_.path(); }

  // The demo account of the stand-in (its password is "demo").
  static constexpr const char* kUser = "demo";
  static constexpr const char* kDigest = "fe01ce2a7fbac8fafaed7c982a04e229";

 private:
  TempDir state_;
  std::string address_;
};

std::string shellQuote(const std::string& s);  // for the POSIX shell

// The value of "name" in one uploads.log line (strings unquoted; null as "null").
std::string jsonField(const std::string& line, const std::string& name);

}  // namespace testsupport
