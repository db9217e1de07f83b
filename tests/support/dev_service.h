#pragma once
// The local stand-in of the Kestrova service (tools/devservice), started on a
// free loopback port for one test and stopped when the test ends. Its state
// folder holds the stored files and uploads.log, one JSON line per upload.
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
  DevService(const DevService&) = delete;
  DevService& operator=(const DevService&) = delete;

  // False when PHP is missing or the service did not come up; tests skip then.
  bool running() const { return !address_.empty(); }
  // "127.0.0.1:PORT".
  const std::string& address() const { return address_; }
  std::string stateDir() const { return state_.path(); }
  // The lines of uploads.log.
  std::vector<std::string> uploadLog() const;

  // The demo account of the stand-in.
  static constexpr const char* kUser = "demo";
  static constexpr const char* kPassword = "demo";
  static constexpr const char* kDigest = "fe01ce2a7fbac8fafaed7c982a04e229";

 private:
  TempDir state_;
  std::string address_;
};

// `s` quoted for the POSIX shell.
std::string shellQuote(const std::string& s);

// The value of "name" in one uploads.log line (strings unquoted; null as "null").
std::string jsonField(const std::string& line, const std::string& name);

}  // namespace testsupport
