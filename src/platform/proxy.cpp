#include "platform/proxy.h"

#include <algorithm>

#include "platform/clock.h"
#include "protocol/reply_text.h"

namespace platform {
namespace {

// A proxy's words in a message: printable ASCII, at most 100 bytes.
std::string shown(const std::string& text) {
  std::string out;
  for (char c : text.substr(0, 100)) out += (c >= 32 && c < 127) ? c : '?';
  return out;
}

std::string seconds(uint32_t ms) { return std::to_string((ms + 999) / 1000); }

// The request for a tunnel to `target`, with the proxy's sign-in when given.
std::string connectRequest(const std::string& target, const std::string& authorization) {
  std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
  if (!authorization.empty()) request += "Proxy-Authorization: " + authorization + "\r\n";
  return request + "\r\n";
}

// Every byte, or false when the socket fails.
bool sendWhole(SocketHandle s, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const int n = sendSome(s, bytes.data() + sent, int(bytes.size() - sent));
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

}  // namespace

int replyStatus(const std::string& header, std::string* statusLine, std::string* authSchemes) {
  const size_t lineEnd = std::min(header.find_first_of("\r\n"), header.size());
  *statusLine = header.substr(0, lineEnd);
  authSchemes->clear();
  const int status = protocol::statusCode(*statusLine, protocol::Reading::kStrict);
  if (status == 0) return 0;
  const char* field = status == 401 ? "WWW-Authenticate" : "Proxy-Authenticate";
  const size_t firstLineEnd = header.find('\n');
  const std::string_view rest =
      firstLineEnd == std::string::npos ? std::string_view() : std::string_view(header).substr(firstLineEnd + 1);
  for (const auto& [name, value] : protocol::parseHeaderFields(rest)) {
    const std::string scheme = value.substr(0, value.find_first_of(" \t,"));
    if (!protocol::sameName(name, field) || scheme.empty()) continue;
    if (!authSchemes->empty()) *authSchemes += ", ";
    *authSchemes += shown(scheme);
  }
  return status;
}

ProxyTunnel openProxyTunnel(SocketHandle s, const std::string& proxy, const std::string& target,
                            const std::string& authorization, uint32_t timeoutMs, uint32_t sliceMs,
                            const std::function<bool()>& stop) {
  using Outcome = ProxyTunnel::Outcome;
  ProxyTunnel t;
  const auto end = [&](Outcome outcome, const std::string& text) {
    t.outcome = outcome;
    t.errorText = text;
    return t;
  };
  const std::string failed = "The connection to the proxy " + proxy + " failed while asking it for " + target;
  if (!sendWhole(s, connectRequest(target, authorization))) {
    return end(Outcome::kSocket, failed + " (" + lastSocketErrorText() + ").");
  }

  std::string reply;
  char buffer[4096];
  const uint32_t start = tickCount();
  for (;;) {
    const uint32_t spent = tickCount() - start;
    if (spent >= timeoutMs) {
      return end(Outcome::kTimeout, "The proxy " + proxy + " did not answer within " + seconds(timeoutMs) +
                                        " s when asked for a connection to " + target + ".");
    }
    const int ready = waitReadable(s, std::min(sliceMs ? sliceMs : timeoutMs, timeoutMs - spent));
    if (ready < 0) return end(Outcome::kSocket, failed + " (" + lastSocketErrorText() + ").");
    if (stop && stop()) return end(Outcome::kStopped, "The request to the proxy " + proxy + " for " + target + " was stopped.");
    if (ready == 0) continue;
    const int n = receiveSome(s, buffer, sizeof buffer);
    if (n < 0) return end(Outcome::kSocket, failed + " (" + lastSocketErrorText() + ").");
    if (n == 0) {
      return end(Outcome::kClosed,
                 "The proxy " + proxy + " closed the connection before it answered the request for " + target + ".");
    }
    reply.append(buffer, size_t(n));
    const size_t at = protocol::headerEnd(reply);
    if (at == std::string::npos && reply.size() > kMaxProxyReplyHeaderBytes) {
      return end(Outcome::kTooLong, "The proxy " + proxy + " sent an answer header longer than " +
                                        std::to_string(kMaxProxyReplyHeaderBytes) + " bytes when asked for " +
                                        target + ".");
    }
    if (!protocol::startsLikeStatusLine(reply)) break;
    if (at == std::string::npos) continue;
    t.status = replyStatus(reply.substr(0, at), &t.statusLine, &t.authSchemes);
    // The tunnel's first byte is the server's, and the server speaks only
    // after the client: a proxy that sent more has said something else.
    if (t.status == 0 || (t.status / 100 == 2 && at != reply.size())) break;
    if (t.status / 100 == 2) return end(Outcome::kOpen, "");
    // Before the tunnel only the proxy speaks: some answer wrong credentials
    // with 401 instead of 407.
    return end(Outcome::kRefused, proxyRefusalText(proxy, target, t.status == 401 ? 407 : t.status, t.statusLine,
                                                   t.authSchemes, !authorization.empty()));
  }
  return end(Outcome::kNotHttp,
             "The proxy " + proxy + " did not answer in HTTP when asked for a connection to " + target + ".");
}

std::string proxyUnreachableText(const std::string& proxy, const std::string& target) {
  return "Connection to the proxy " + proxy + " failed, on the way to " + target +
         ".\r\n\r\nCheck the proxy setting and your Internet connection.";
}

std::string proxyNotFoundText(const std::string& proxy, const std::string& target) {
  return "The proxy " + proxy + " cannot be found (its name does not resolve), on the way to " + target + ".";
}

std::string proxyRefusalText(const std::string& proxy, const std::string& target, int status,
                             const std::string& statusLine, const std::string& authSchemes, bool credentialsSent) {
  if (status != 407) return "The proxy " + proxy + " refused the connection to " + target + ": " + shown(statusLine) + ".";
  const std::string asks = "The proxy " + proxy + " asks for a sign-in to reach " + target;
  // A proxy that names no scheme, or Basic among others, takes Basic.
  bool basic = authSchemes.empty();
  for (size_t from = 0; from < authSchemes.size();) {
    const size_t to = std::min(authSchemes.find(", ", from), authSchemes.size());
    basic = basic || protocol::sameName(std::string_view(authSchemes).substr(from, to - from), "Basic");
    from = to + 2;
  }
  if (!basic) return asks + " by " + authSchemes + ", which Flingpost cannot give: it signs in to proxies by Basic only.";
  if (credentialsSent) return asks + ": it did not accept the user name and password of the proxy address.";
  return asks + ": give the user name and password in the proxy address, as http://USER:PASSWORD@" + proxy + ".";
}

}  // namespace platform
