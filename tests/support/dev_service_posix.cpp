#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/dev_service.h"

namespace testsupport {

static std::string script() { return shellQuote(std::string(FP_SOURCE_DIR) + "/tools/devservice/devservice"); }

DevService::DevService(const std::map<std::string, std::string>& env) {
  if (std::system("command -v php >/dev/null 2>&1") != 0) return;
  std::string command;
  for (const auto& kv : env) command += kv.first + "=" + shellQuote(kv.second) + " ";
  FILE* p = popen((command + script() + " start " + shellQuote(state_.path()) + " 2>/dev/null").c_str(), "r");
  char buf[128];
  std::string out;
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p && pclose(p) == 0) address_ = out.substr(0, out.find_first_of("\r\n"));
}

DevService::~DevService() {
  // A failed stop leaves nothing to do: the state folder goes with the TempDir.
  if (std::system((script() + " stop " + shellQuote(state_.path()) + " >/dev/null 2>&1").c_str())) return;
}

std::vector<std::string> DevService::uploadLog() const {
  std::vector<std::string> lines;
  std::ifstream f(state_.file("uploads.log"));
  for (std::string line; std::getline(f, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string jsonField(const std::string& line, const std::string& name) {
  const size_t at = line.find("\"" + name + "\":");
  if (at == std::string::npos) return std::string();
  size_t i = at + name.size() + 3;
  if (i >= line.size() || line[i] != '"') return line.substr(i, line.find_first_of(",}", i) - i);
  std::string value;
  for (++i; i < line.size() && line[i] != '"'; ++i) {
    value += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];  // an escaped character as it is
  }
  return value;
}

}  // namespace testsupport
