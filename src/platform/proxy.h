#pragma once
// HTTP proxies: the system's own proxy setting, and the CONNECT exchange that
// opens a tunnel through a proxy. Both the service requests and the uploads
// use the tunnel, so its reply is read, and its failures are worded, here once.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/sockets.h"

namespace platform {

// The proxy setting of the system, as its own tools write it; the choice of a
// proxy for an address is made from it by the client. Empty texts: not set.
struct SystemProxy {
  // Windows (WinHTTP, from Internet Options or group policy, or what automatic
  // detection or a configuration script answered for the address asked
  // about): "host:port", or per scheme "http=host:port;https=host:port", and
  // the bypass list ("<local>;*.example.com").
  std::string list;
  std::string bypass;
  // POSIX: the environment, as curl reads it: https_proxy and http_proxy
  // (lower case first, then upper case, then all_proxy), and no_proxy.
  std::string httpsProxy;
  std::string httpProxy;
  std::string noProxy;
};

// The current user's setting for `url` ("https://host:port/"). Where the system
// detects a proxy or runs a configuration script, that takes at most about
// `timeoutMs` per step; a failed detection leaves the manual setting. Blocking.
SystemProxy readSystemProxy(const std::string& url, uint32_t timeoutMs);

// How a CONNECT request through a proxy ended.
struct ProxyTunnel {
  enum class Outcome {
    kOpen,      // a 2xx answer: the socket now leads to the target
    kRefused,   // any other status (407: a sign-in is asked for)
    kClosed,    // the proxy ended the connection before its answer was whole
    kTimeout,   // no whole answer within the time limit
    kTooLong,   // the answer's header passed the size limit
    kNotHttp,   // the answer is not an HTTP reply, or bytes followed a 2xx header
    kSocket,    // the socket failed
    kStopped,   // the caller's stop check asked to stop
  };
  Outcome outcome = Outcome::kSocket;
  int status = 0;
  std::string statusLine;
  // The schemes that the proxy asks to sign in by ("Basic, NTLM"), in order.
  std::string authSchemes;
  // What the user reads when the tunnel is not open: names the proxy and the target.
  std::string errorText;
};

// The largest reply header a proxy may send to a CONNECT.
constexpr size_t kMaxProxyReplyHeaderBytes = 1024 * 1024;

// Over `s`, connected to the proxy `proxy` ("host:port"), asks for a tunnel to
// `target` ("host:port"), with `authorization` ("Basic ...") when not empty,
// and reads the answer's header within `timeoutMs` and kMaxProxyReplyHeaderBytes.
// `stop`, when given, is asked between waits of at most `sliceMs`.
ProxyTunnel openProxyTunnel(SocketHandle s, const std::string& proxy, const std::string& target,
                            const std::string& authorization, uint32_t timeoutMs, uint32_t sliceMs = 250,
                            const std::function<bool()>& stop = nullptr);

// The user's texts for a proxy that cannot be reached or found, and for an
// answer with a status (407 names the sign-in; `credentialsSent` whether the
// proxy address carried a user name), each naming the proxy and the target.
std::string proxyUnreachableText(const std::string& proxy, const std::string& target);
std::string proxyNotFoundText(const std::string& proxy, const std::string& target);
std::string proxyRefusalText(const std::string& proxy, const std::string& target, int status,
                             const std::string& statusLine, const std::string& authSchemes, bool credentialsSent);

// The status code and the schemes that a reply header asks to sign in by
// (Proxy-Authenticate; WWW-Authenticate for a 401), from "HTTP/x.y NNN ..." on;
// the status is 0 when the text is no HTTP reply.
int replyStatus(const std::string& header, std::string* statusLine, std::string* authSchemes);

}  // namespace platform
