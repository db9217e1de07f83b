#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "support/real_proxy.h"

namespace testsupport {
namespace {

// What WinHTTP reads (Internet Options also writes ProxyServer and the values
// beside it, which Wine's WinHTTP does not read).
const char kConnections[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

void append(std::string& blob, DWORD value, const std::string& text = "") {
  blob.append(reinterpret_cast<const char*>(&value), sizeof value);
  blob += text;
}

}  // namespace

RealProxy::RealProxy() {
  const char* address = std::getenv("FLINGPOST_TEST_PROXY");
  if (address && std::strncmp(address, "127.0.0.1:", 10) == 0) port_ = uint16_t(std::atoi(address + 10));
  if (!port_) whyNot_ = "FLINGPOST_TEST_PROXY names no proxy: scripts/test starts one for the Windows tests";
}

RealProxy::~RealProxy() = default;

std::string RealProxy::log() const { return std::string(); }

SystemProxyScope::SystemProxyScope(const std::string& proxy, const std::string& bypass) {
  // The layout that Internet Options writes: version, a counter, the flags
  // (a manual proxy, 2, besides direct, 1), then the proxy, the bypass list and
  // the script's address, each after its length, and a reserved tail.
  std::string blob;
  append(blob, 0x46);
  append(blob, 1);
  append(blob, 2 | 1);
  append(blob, DWORD(proxy.size()), proxy);
  append(blob, DWORD(bypass.size()), bypass);
  append(blob, 0, std::string(32, '\0'));
  RegSetKeyValueA(HKEY_CURRENT_USER, kConnections, "DefaultConnectionSettings", REG_BINARY, blob.data(),
                  DWORD(blob.size()));
}

SystemProxyScope::~SystemProxyScope() {
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kConnections, "DefaultConnectionSettings");
}

}  // namespace testsupport
