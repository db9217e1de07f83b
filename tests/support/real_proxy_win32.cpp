#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "support/real_proxy.h"

namespace testsupport {
namespace {

// Where Internet Options keeps the setting: the Connections value that WinHTTP
// reads, and the single values beside it that other programs read.
const char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kConnections[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

void appendDword(std::string& blob, DWORD value) { blob.append(reinterpret_cast<const char*>(&value), sizeof value); }

void appendText(std::string& blob, const std::string& text) {
  appendDword(blob, DWORD(text.size()));
  blob += text;
}

}  // namespace

RealProxy::RealProxy() {
  const char* address = std::getenv("FLINGPOST_TEST_PROXY");
  const char* colon = address ? std::strrchr(address, ':') : nullptr;
  port_ = colon && std::strncmp(address, "127.0.0.1:", 10) == 0 ? uint16_t(std::atoi(colon + 1)) : 0;
  if (!port_) whyNot_ = "FLINGPOST_TEST_PROXY names no proxy: scripts/test starts one for the Windows tests";
}

RealProxy::~RealProxy() = default;

std::string RealProxy::log() const { return std::string(); }

SystemProxyScope::SystemProxyScope(const std::string& proxy, const std::string& bypass) {
  // The layout that Internet Options writes: version, a counter, the flags
  // (2: a manual proxy), then the proxy, the bypass list and the script's
  // address, each after its length, and a reserved tail.
  std::string blob;
  appendDword(blob, 0x46);
  appendDword(blob, 1);
  appendDword(blob, 2 | 1);
  appendText(blob, proxy);
  appendText(blob, bypass);
  appendText(blob, "");
  blob.append(32, '\0');
  RegSetKeyValueA(HKEY_CURRENT_USER, kConnections, "DefaultConnectionSettings", REG_BINARY, blob.data(),
                  DWORD(blob.size()));
  const DWORD on = 1;
  RegSetKeyValueA(HKEY_CURRENT_USER, kSettings, "ProxyEnable", REG_DWORD, &on, sizeof on);
  RegSetKeyValueA(HKEY_CURRENT_USER, kSettings, "ProxyServer", REG_SZ, proxy.c_str(), DWORD(proxy.size() + 1));
  RegSetKeyValueA(HKEY_CURRENT_USER, kSettings, "ProxyOverride", REG_SZ, bypass.c_str(), DWORD(bypass.size() + 1));
}

SystemProxyScope::~SystemProxyScope() {
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kConnections, "DefaultConnectionSettings");
  for (const char* value : {"ProxyEnable", "ProxyServer", "ProxyOverride"}) {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettings, value);
  }
}

}  // namespace testsupport
