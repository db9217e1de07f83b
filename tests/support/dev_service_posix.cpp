#include "support/dev_service.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace testsupport {
namespace {

std::string script() { return std::string(FP_SOURCE_DIR) + "/tools/devservice/devservice"; }

}  // namespace

DevService::DevService(const std::map<std::string, std::string>& env) {
  if (std::system("command -v php >/dev/null 2>&1") != 0) return;
  std::string command;
  for (const auto& kv : env) command += kv.first + "=" + shellQuote(kv.second) + " ";
  command += shellQuote(script()) + " start " + shellQuote(state_.path()) + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return;
  char buf[128];
  std::string out;
  while (fgets(buf, sizeof buf, p)) out += buf;
  if (pclose(p) != 0) return;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  address_ = out;
}

DevService::~DevService() {
  const std::string command = shellQuote(script()) + " stop " + shellQuote(state_.path()) + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    // Nothing more can be done; the state folder goes with the TempDir.
  }
}

std::vector<std::string> DevService::uploadLog() const {
  std::vector<std::string> lines;
  std::ifstream f(state_.file("uploads.log"));
  std::string line;
  while (std::getline(f, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string jsonField(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const size_t at = line.find(key);
  if (at == std::string::npos) return std::string();
  size_t i = at + key.size();
  if (i < line.size() && line[i] == '"') {
    std::string value;
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    return value;
  }
  const size_t end = line.find_first_of(",}", i);
  return line.substr(i, end - i);
}

}  // namespace testsupport
