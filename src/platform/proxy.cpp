#include "platform/proxy.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/clock.h"

namespace platform {
namespace {

// A proxy's words in a message: printable ASCII, at most 100 bytes.
std::string shown(const std::string& text) {
  std::string out;
  for (char c : text.substr(0, 100)) out += (c >= 32 && c < 127) ? c : '?';
  return out;
}

bool startsWithIgnoringCase(const std::string& text, size_t at, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (text.size() - at < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// The end of a reply header (its empty line, ended by CRLF or a bare LF), or npos.
size_t headerEnd(const std::string& text) {
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    const size_t next = at + 1;
    if (next < text.size() && text[next] == '\n') return next + 1;
    if (next + 1 < text.size() && text[next] == '\r' && text[next + 1] == '\n') return next + 2;
  }
  return std::string::npos;
}

std::string seconds(uint32_t ms) { return std::to_string((ms + 999) / 1000); }

}  // namespace

int replyStatus(const std::string& header, std::string* statusLine, std::string* authSchemes) {
  const size_t lineEnd = std::min(header.find_first_of("\r\n"), header.size());
  *statusLine = header.substr(0, lineEnd);
  authSchemes->clear();
  const size_t blank = statusLine->find(' ');
  if (statusLine->compare(0, 5, "HTTP/") != 0 || blank == std::string::npos) return 0;
  int status = 0;
  for (size_t i = blank + 1; i < statusLine->size() && i < blank + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>((*statusLine)[i]))) return 0;
    status = status * 10 + ((*statusLine)[i] - '0');
  }
  if (status < 100) return 0;
  const char* field = status == 401 ? "WWW-Authenticate:" : "Proxy-Authenticate:";
  for (size_t at = header.find('\n'); at != std::string::npos; at = header.find('\n', at + 1)) {
    if (!startsWithIgnoringCase(header, at + 1, field)) continue;
    size_t from = at + 1 + std::strlen(field);
    while (from < header.size() && (header[from] == ' ' || header[from] == '\t')) ++from;
    const size_t to = header.find_first_of(" \t\r\n,", from);
    if (to == from) continue;
    if (!authSchemes->empty()) *authSchemes += ", ";
    *authSchemes += shown(header.substr(from, to == std::string::npos ? std::string::npos : to - from));
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
  std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
  if (!authorization.empty()) request += "Proxy-Authorization: " + authorization + "\r\n";
  request += "\r\n";
  const std::string failed = "The connection to the proxy " + proxy + " failed while asking it for " + target;
  for (size_t sent = 0; sent < request.size();) {
    const int n = sendSome(s, request.data() + sent, int(request.size() - sent));
    if (n <= 0) return end(Outcome::kSocket, failed + " (" + lastSocketErrorText() + ").");
    sent += size_t(n);
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
    const size_t at = headerEnd(reply);
    if (at == std::string::npos && reply.size() > kMaxProxyReplyHeaderBytes) {
      return end(Outcome::kTooLong, "The proxy " + proxy + " sent an answer header longer than " +
                                        std::to_string(kMaxProxyReplyHeaderBytes) + " bytes when asked for " +
                                        target + ".");
    }
    if (reply.size() >= 5 && reply.compare(0, 5, "HTTP/") != 0) break;
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
    basic = basic || (to - from == 5 && startsWithIgnoringCase(authSchemes, from, "basic"));
    from = to + 2;
  }
  if (!basic) return asks + " by " + authSchemes + ", which Flingpost cannot give: it signs in to proxies by Basic only.";
  if (credentialsSent) return asks + ": it did not accept the user name and password of the proxy address.";
  return asks + ": give the user name and password in the proxy address, as http://USER:PASSWORD@" + proxy + ".";
}

}  // namespace platform
