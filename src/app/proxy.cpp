#include "app/proxy.h"

#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "app/base64.h"
#include "app/service_endpoint.h"
#include "app/web_address.h"
#include "platform/proxy.h"
#include "platform/sockets.h"
#include "platform/threads.h"

namespace app {
namespace {

// curl's port for a proxy address without one; Windows' list takes HTTP's.
constexpr uint16_t kCurlProxyPort = 1080;
constexpr uint16_t kWindowsProxyPort = 80;
// One step of detection or of a configuration script's download.
constexpr uint32_t kSystemStepMs = 5000;

std::string lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The entries of a list separated by any of `separators`, without empty ones.
std::vector<std::string> entries(const std::string& list, const char* separators) {
  std::vector<std::string> out;
  for (size_t from = 0; from <= list.size();) {
    const size_t to = std::min(list.find_first_of(separators, from), list.size());
    if (to > from) out.push_back(list.substr(from, to - from));
    from = to + 1;
  }
  return out;
}

// `text` against a pattern whose "*" stands for any run of characters.
bool wildcardMatch(const std::string& pattern, const std::string& text) {
  size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p, ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Windows' bypass list: "<local>" is every name without a dot; the other
// entries are patterns for the host, or for "host:port".
bool bypassedOnWindows(const std::string& list, const std::string& host, uint16_t port) {
  uint32_t address = 0;
  for (std::string entry : entries(lower(list), "; \t\r\n,")) {
    if (entry == "<local>") {
      if (host.find('.') == std::string::npos && !platform::parseDottedIPv4(host, &address)) return true;
      continue;
    }
    const size_t scheme = entry.find("://");
    if (scheme != std::string::npos) entry.erase(0, scheme + 3);
    if (wildcardMatch(entry, host) || wildcardMatch(entry, host + ":" + std::to_string(port))) return true;
  }
  return false;
}

// curl's no_proxy: "*" for all; a name matches itself and the names below it
// (a leading "." changes nothing); an IPv4 address, or a range a.b.c.d/n,
// matches the addresses in it.
bool bypassedByNoProxy(const std::string& list, const std::string& host) {
  uint32_t hostAddress = 0;
  const bool hostIsAddress = platform::parseDottedIPv4(host, &hostAddress);
  for (std::string entry : entries(lower(list), ", \t\r\n")) {
    if (entry == "*") return true;
    while (!entry.empty() && entry[0] == '.') entry.erase(0, 1);
    const size_t slash = entry.find('/');
    uint32_t network = 0;
    if (hostIsAddress && slash != std::string::npos && platform::parseDottedIPv4(entry.substr(0, slash), &network)) {
      const int bits = std::atoi(entry.c_str() + slash + 1);
      if (bits < 0 || bits > 32) continue;
      // The addresses are in network order: compare their leading bits as numbers.
      const auto number = [](uint32_t a) {
        const auto* b = reinterpret_cast<const unsigned char*>(&a);
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
      };
      const uint32_t mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
      if ((number(hostAddress) & mask) == (number(network) & mask)) return true;
      continue;
    }
    if (host == entry || (host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
                          host[host.size() - entry.size() - 1] == '.'))
      return true;
  }
  return false;
}

// The first entry of Windows' list for the scheme: "scheme=address" entries
// for that scheme, entries without "=" for every scheme.
std::optional<ProxyServer> fromWindowsList(const std::string& list, bool secure) {
  for (const std::string& entry : entries(list, "; \t\r\n")) {
    const size_t equals = entry.find('=');
    if (equals != std::string::npos && lower(entry.substr(0, equals)) != (secure ? "https" : "http")) continue;
    ProxyServer server;
    if (parseProxyAddress(entry.substr(equals == std::string::npos ? 0 : equals + 1), kWindowsProxyPort, &server))
      return server;
  }
  return std::nullopt;
}

}  // namespace

std::string ProxyServer::address() const { return host + ":" + std::to_string(port); }

std::string ProxyServer::authorization() const { return user.empty() ? "" : "Basic " + base64(user + ":" + password); }

bool parseProxyAddress(const std::string& text, uint16_t defaultPort, ProxyServer* out, std::string* why) {
  WebAddress address;
  if (!parseWebAddress(text, AddressUse::kProxy, &address, why)) return false;
  ProxyServer server;
  const size_t colon = address.userInfo.find(':');
  server.user = percentDecoded(address.userInfo.substr(0, colon));
  if (colon != std::string::npos) server.password = percentDecoded(address.userInfo.substr(colon + 1));
  server.host = address.host;
  server.port = address.port ? address.port : defaultPort;
  *out = server;
  return true;
}

bool isLoopbackHost(const std::string& host) {
  const std::string name = lower(host);
  uint32_t address = 0;
  return name == "localhost" || name == "::1" || name == "[::1]" ||
         (name.compare(0, 4, "127.") == 0 && platform::parseDottedIPv4(name, &address));
}

std::optional<ProxyServer> systemProxyFor(const platform::SystemProxy& setting, bool secure, const std::string& rawHost,
                                          uint16_t port) {
  const std::string host = lower(rawHost);
  if (isLoopbackHost(host) || bypassedOnWindows(setting.bypass, host, port) || bypassedByNoProxy(setting.noProxy, host))
    return std::nullopt;
  if (!setting.list.empty()) return fromWindowsList(setting.list, secure);
  ProxyServer server;
  const std::string& variable = secure ? setting.httpsProxy : setting.httpProxy;
  if (variable.empty() || !parseProxyAddress(variable, kCurlProxyPort, &server)) return std::nullopt;
  return server;
}

// The system's setting, once read; shared with the thread that reads it.
struct ProxyChoice::SystemRead {
  std::string probeUrl;
  std::mutex lock;
  std::condition_variable ready;
  bool started = false;
  bool over = false;  // read, or given up on: the run keeps what it has
  platform::SystemProxy setting;
};

std::shared_ptr<ProxyChoice> ProxyChoice::none() { return std::shared_ptr<ProxyChoice>(new ProxyChoice(Kind::kNone)); }

std::shared_ptr<ProxyChoice> ProxyChoice::named(const ProxyServer& server) {
  std::shared_ptr<ProxyChoice> choice(new ProxyChoice(Kind::kNamed));
  choice->server_ = server;
  return choice;
}

std::shared_ptr<ProxyChoice> ProxyChoice::system(const std::string& probeUrl, bool later) {
  std::shared_ptr<ProxyChoice> choice(new ProxyChoice(Kind::kSystem));
  choice->read_ = std::make_shared<SystemRead>();
  choice->read_->probeUrl = probeUrl;
  if (!later) choice->startReading();
  return choice;
}

void ProxyChoice::startReading() const {
  std::shared_ptr<SystemRead> read = read_;
  {
    std::lock_guard<std::mutex> hold(read->lock);
    if (read->started) return;
    read->started = true;
  }
  const bool started = platform::startDetachedThread([read] {
    platform::SystemProxy setting = platform::readSystemProxy(read->probeUrl, kSystemStepMs);
    std::lock_guard<std::mutex> hold(read->lock);
    if (!read->over) read->setting = std::move(setting);
    read->over = true;
    read->ready.notify_all();
  });
  if (!started) {
    std::lock_guard<std::mutex> hold(read->lock);
    read->over = true;
  }
}

std::optional<ProxyServer> ProxyChoice::forAddress(bool secure, const std::string& host, uint16_t port) const {
  if (kind_ == Kind::kNamed) return server_;
  if (kind_ == Kind::kNone || isLoopbackHost(host)) return std::nullopt;
  startReading();
  std::unique_lock<std::mutex> hold(read_->lock);
  // Detection may take long; past the wait the run goes direct for good.
  if (!read_->ready.wait_for(hold, std::chrono::milliseconds(kSystemProxyWaitMs), [this] { return read_->over; }))
    read_->over = true;
  return systemProxyFor(read_->setting, secure, host, port);
}

std::optional<ProxyServer> proxyFor(const std::shared_ptr<const ProxyChoice>& choice, bool secure,
                                    const std::string& host, uint16_t port) {
  return choice ? choice->forAddress(secure, host, port) : std::nullopt;
}

bool chooseProxy(const std::string* option, ServiceEndpoint* out, std::string* why) {
  const char* variable = std::getenv("KESTROVA_PROXY");
  if (!option && !variable) {
    out->proxy = ProxyChoice::system(out->siteRoot(), isLoopbackHost(out->host));
    return true;
  }
  const std::string text = option ? *option : std::string(variable);
  if ((option && text.empty()) || lower(text) == "none") {
    out->proxy = ProxyChoice::none();
    return true;
  }
  ProxyServer server;
  std::string wrong = "it is empty";
  if (!text.empty() && parseProxyAddress(text, kCurlProxyPort, &server, &wrong)) {
    out->proxy = ProxyChoice::named(server);
    return true;
  }
  // A password stays off the screen, even a mistyped one.
  const std::string shown = text.substr(text.rfind('@') == std::string::npos ? 0 : text.rfind('@') + 1);
  *why = std::string(option ? "--proxy" : "KESTROVA_PROXY") + " is \"" + shown + "\", which is not a proxy (" +
         wrong + "): give http://[USER:PASSWORD@]HOST[:PORT], or " + (option ? "''" : "none") + " for none.";
  return false;
}

}  // namespace app
