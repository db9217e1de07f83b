#include <windows.h>
#include <winhttp.h>

#include "platform/charset.h"
#include "platform/proxy.h"

namespace platform {
namespace {

// Takes a text that WinHTTP allocated, and frees it.
std::string takeText(LPWSTR text) {
  if (!text) return std::string();
  const std::string utf8 = utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text)));
  GlobalFree(text);
  return utf8;
}

}  // namespace

SystemProxy readSystemProxy(const std::string& url, uint32_t timeoutMs) {
  SystemProxy p;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&ie)) return p;
  p.list = takeText(ie.lpszProxy);
  p.bypass = takeText(ie.lpszProxyBypass);
  const std::string script = takeText(ie.lpszAutoConfigUrl);
  if (!ie.fAutoDetect && script.empty()) return p;

  // Detection, or the configuration script, answers for this one address; when
  // it fails, the manual setting holds, as it does for the system's programs.
  HINTERNET session = WinHttpOpen(L"Flingpost", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return p;
  const int ms = int(timeoutMs);
  WinHttpSetTimeouts(session, ms, ms, ms, ms);
  const std::u16string scriptUrl = utf8ToUtf16(script);
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (script.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = reinterpret_cast<LPCWSTR>(scriptUrl.c_str());
  }
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  const std::u16string address = utf8ToUtf16(url);
  if (WinHttpGetProxyForUrl(session, reinterpret_cast<LPCWSTR>(address.c_str()), &options, &info)) {
    // Any other access type means DIRECT: no proxy for this address.
    const bool named = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    const std::string list = takeText(info.lpszProxy);
    const std::string bypass = takeText(info.lpszProxyBypass);
    p.list = named ? list : std::string();
    p.bypass = named ? bypass : std::string();
  }
  WinHttpCloseHandle(session);
  return p;
}

}  // namespace platform
