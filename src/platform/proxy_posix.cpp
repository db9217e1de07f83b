#include <cstdlib>

#include "platform/proxy.h"

namespace platform {
namespace {

// The first of the variables that is set and not empty.
std::string firstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return std::string();
}

}  // namespace

SystemProxy readSystemProxy(const std::string&, uint32_t) {
  SystemProxy p;
  p.httpsProxy = firstSet({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"});
  p.httpProxy = firstSet({"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"});
  p.noProxy = firstSet({"no_proxy", "NO_PROXY"});
  return p;
}

}  // namespace platform
