#include "service/fetcher.h"

#include <tinyxml.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>

#include "app/data_files.h"
#include "app/proxy.h"
#include "app/web_address.h"
#include "platform/clock.h"
#include "platform/proxy.h"
#include "platform/sockets.h"
#include "platform/tls.h"
#include "service/reply_framing.h"
#include "service/xml_reading.h"

namespace service {
namespace {

const char kNetworkErrorCaption[] = "Network Error";
// The texts name the version check and the service whichever request failed:
// the user has always seen these words.
const char kLookupFailed[] = "DNS Lookup Failed.  Can't verify version.";
const char kSocketFailed[] = "Create version check socket failed.";
const char kConnectFailed[] =
    "Connection to Kestrova failed.\r\n\r\nCheck your Internet connection and try again.";

constexpr int kReceiveBufferSize = 1000;  // the exchange has always read this much at a time

bool fail(app::Desktop& desktop, const std::string& message) {
  desktop.messageBox(message, kNetworkErrorCaption, app::MessageButtons::kOk);
  return false;
}

// The exchange's connection: the socket itself, or the TLS stream over it.
class Link {
 public:
  explicit Link(platform::SocketHandle s) : socket_(s) {}
  ~Link() { close(); }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Ends the connection now rather than when the exchange returns: a failure's
  // message may stand for long, and the server must not be held meanwhile.
  void close() {
    if (tls_) tls_->close();
    tls_.reset();
    platform::closeSocketHandle(socket_);
    socket_ = platform::kInvalidSocket;
  }

  // The handshake with its checks; false with the reason in tlsError().
  bool secure(const std::string& host, const std::string& caFile, uint32_t ms) {
    tls_ = std::make_unique<platform::TlsStream>();
    return tls_->handshake(socket_, host, caFile, ms);
  }
  const std::string& tlsError() const { return tls_->errorText(); }

  // Every byte, each wait for room at most `idleMs`. A failure stops it
  // quietly: the receive then sees the end or the error.
  void sendAll(const std::string& bytes, uint32_t idleMs) {
    size_t sent = 0;
    if (!tls_) {
      while (sent < bytes.size()) {
        const int n = platform::sendSome(socket_, bytes.data() + sent, int(bytes.size() - sent));
        if (n <= 0) return;
        sent += size_t(n);
      }
      return;
    }
    for (;;) {
      // The stream holds the bytes back until flush() has pushed them out.
      const bool flushing = sent == bytes.size();
      const int n = flushing ? tls_->flush() : tls_->send(bytes.data() + sent, int(bytes.size() - sent));
      if (flushing && n == 1) return;
      if (!flushing && n > 0) {
        sent += size_t(n);
        continue;
      }
      if ((n < 0 && !tls_->wouldBlock()) || tls_->waitWritable(idleMs) != 1) return;
    }
  }
  int waitReadable(uint32_t ms) { return tls_ ? tls_->waitReadable(ms) : platform::waitReadable(socket_, ms); }
  int receive(char* buffer, int size) {
    return tls_ ? tls_->receive(buffer, size) : platform::receiveSome(socket_, buffer, size);
  }

 private:
  platform::SocketHandle socket_;
  std::unique_ptr<platform::TlsStream> tls_;
};

// "60 s", or "400 ms" where whole seconds would not say it.
std::string timeText(uint32_t ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// "8 MiB", or "2500 bytes" where whole MiB would not say it.
std::string sizeText(size_t bytes) {
  const size_t mib = size_t(1) << 20;
  return bytes % mib == 0 ? std::to_string(bytes / mib) + " MiB" : std::to_string(bytes) + " bytes";
}

// A connect that gets no answer would otherwise wait for the system's own limit,
// which is minutes on some systems.
bool connectWithin(platform::SocketHandle s, uint32_t address, uint16_t port, uint32_t ms) {
  if (!platform::setNonBlocking(s, true)) return platform::connectIPv4(s, address, port) == 0;
  bool connected = platform::connectIPv4(s, address, port) == 0;
  if (!connected && platform::lastSocketError() == platform::kWsaEwouldblock) {
    connected = platform::waitWritable(s, ms) == 1 && platform::pendingSocketError(s) == 0;
  }
  return platform::setNonBlocking(s, false) && connected;
}

// A socket that leads to the service: connected to it, or to `proxy` and, for
// TLS, through the proxy's tunnel to it. kInvalidSocket, with the message in
// *failure, when it cannot be had.
platform::SocketHandle connectToService(const app::ServiceEndpoint& service,
                                        const std::optional<app::ProxyServer>& proxy, std::string* failure) {
  const uint32_t start = platform::tickCount();
  const uint32_t limitMs = service.limits.connectTimeoutMs;
  const std::string target = service.host + ":" + std::to_string(service.port);
  uint32_t address = 0;
  if (!platform::lookUpIPv4(proxy ? proxy->host : service.host, &address)) {
    *failure = proxy ? platform::proxyNotFoundText(proxy->address(), target) : kLookupFailed;
    return platform::kInvalidSocket;
  }
  const platform::SocketHandle s = platform::openStreamSocket();
  if (s == platform::kInvalidSocket) {
    *failure = kSocketFailed;
    return s;
  }
  if (!connectWithin(s, address, proxy ? proxy->port : service.port, limitMs)) {
    platform::closeSocketHandle(s);
    *failure = proxy ? platform::proxyUnreachableText(proxy->address(), target) : kConnectFailed;
    return platform::kInvalidSocket;
  }
  if (!proxy || !service.secure) return s;
  const uint32_t spent = platform::tickCount() - start;
  const platform::ProxyTunnel tunnel = platform::openProxyTunnel(s, proxy->address(), target, proxy->authorization(),
                                                                 spent < limitMs ? limitMs - spent : 1);
  if (tunnel.outcome == platform::ProxyTunnel::Outcome::kOpen) return s;
  platform::closeSocketHandle(s);
  *failure = tunnel.errorText;
  return platform::kInvalidSocket;
}

// A plain request as a proxy takes it: the service's address in absolute form
// in the request line ("GET http://host/path ..."), and the proxy's sign-in
// after that line when it has one; every other byte as it was.
std::string proxiedRequest(const std::string& request, const app::ServiceEndpoint& service,
                           const app::ProxyServer& proxy) {
  const size_t path = std::min(request.find(' '), request.size());
  const size_t lineEnd = std::min(request.find('\n'), request.size() - 1);
  std::string out = request.substr(0, path + 1) + "http://" + service.host;
  if (service.port != app::kServicePort) out += ":" + std::to_string(service.port);
  out += request.substr(path + 1, lineEnd - path);
  // In the request's own form: no blank after the colon, a bare line feed.
  if (!proxy.user.empty()) out += "Proxy-Authorization:" + proxy.authorization() + "\n";
  return out + request.substr(lineEnd + 1);
}

// The reply as it came, from the first byte to the end its own framing gives,
// or to whichever limit ends it first; *cause then names that limit ("" when
// the reply ended by itself, the server closed or a receive failed).
std::string receiveReply(Link& link, const app::FetchLimits& limits, uint32_t connected, std::string* cause) {
  std::string reply;
  ReplyFraming framing;
  char buffer[kReceiveBufferSize];
  while (!framing.complete()) {
    if (reply.size() >= limits.maxReplyBytes) {
      *cause = "The service's reply was cut off at " + sizeText(limits.maxReplyBytes) + ", the size limit of a request.";
      break;
    }
    const uint32_t spent = std::min(platform::tickCount() - connected, limits.overallTimeoutMs);
    const uint32_t waitMs = std::min(limits.idleTimeoutMs, limits.overallTimeoutMs - spent);
    // Silence for the idle time, the overall time, or a failed wait ends the
    // reply as it stands.
    const int ready = waitMs > 0 ? link.waitReadable(waitMs) : 0;
    if (ready == 0 && waitMs < limits.idleTimeoutMs) {
      *cause = "The service's reply did not end within " + timeText(limits.overallTimeoutMs) +
               ", the time limit of a request.";
    } else if (ready == 0) {
      *cause = "The service sent nothing for " + timeText(limits.idleTimeoutMs) + ", and its reply ended there.";
    }
    if (ready != 1) break;
    const int n = link.receive(buffer, kReceiveBufferSize);
    if (n <= 0) break;  // closed by the server, or a receive error: keep what came
    const size_t take = std::min(size_t(n), limits.maxReplyBytes - reply.size());
    reply.append(buffer, framing.feed(buffer, take));
  }
  return reply;
}

}  // namespace

std::string serviceRequest(const std::string& pathAndQuery, const std::string& host) {
  return "GET " + pathAndQuery + " HTTP/1.1\nUser-Agent:Mozilla\nHost:" + host + "\n\n";
}

std::string percentEncode(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += char(c);
    } else {
      app::appendPercentEscape(c, &out);
    }
  }
  return out;
}

bool fetchServiceDocument(app::Desktop& desktop, const app::ServiceEndpoint& service, const std::string& request,
                          std::string* rawReply, std::string* cutShort) {
  if (cutShort) cutShort->clear();
  const app::FetchLimits& limits = service.limits;
  const std::optional<app::ProxyServer> proxy = app::proxyFor(service.proxy, service.secure, service.host, service.port);
  const uint32_t start = platform::tickCount();
  std::string failure;
  const platform::SocketHandle s = connectToService(service, proxy, &failure);
  if (s == platform::kInvalidSocket) return fail(desktop, failure);
  Link link(s);
  // A server that stalls, or answers in plain HTTP, fails within the connect's
  // time; a refused certificate ends the exchange before the request is sent.
  const uint32_t connecting = platform::tickCount() - start;
  const uint32_t handshakeMs = connecting < limits.connectTimeoutMs ? limits.connectTimeoutMs - connecting : 1;
  if (service.secure && !link.secure(service.host, service.caFile, handshakeMs)) {
    const std::string why = link.tlsError();
    link.close();
    return fail(desktop, why);
  }

  // A server that sends a byte now and then would restart the idle time for
  // ever; the overall limit ends the exchange whatever the pace.
  const uint32_t connected = platform::tickCount();
  link.sendAll(proxy && !service.secure ? proxiedRequest(request, service, *proxy) : request, limits.idleTimeoutMs);

  std::string cause;
  const std::string reply = receiveReply(link, limits, connected, &cause);
  // A plain request's sign-in is asked for in the reply to the request itself.
  std::string statusLine, schemes;
  if (proxy && !service.secure && platform::replyStatus(reply, &statusLine, &schemes) == 407) {
    link.close();
    return fail(desktop, platform::proxyRefusalText(proxy->address(), service.host + ":" + std::to_string(service.port),
                                                    407, statusLine, schemes, !proxy->user.empty()));
  }
  // The callers once told a failure from a reply by this text, so a reply of
  // exactly these bytes has always failed its request, without a message.
  if (reply == "error") return false;
  if (cutShort) *cutShort = cause;
  *rawReply = reply;
  return true;
}

std::string withCause(const std::string& message, const std::string& cutShort) {
  return cutShort.empty() ? message : message + "\r\n\r\n" + cutShort;
}

bool saveAndLoadReply(const std::string& reply, const char* fileName, TiXmlDocument* document) {
  const size_t start = reply.find('<');
  const std::string path = app::dataPath(fileName);
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (start != std::string::npos) file.write(reply.data() + start, std::streamsize(reply.size() - start));
  file.close();
  // A file that could not be replaced holds an earlier exchange's reply, or a
  // piece of this one: neither may be read as this reply.
  if (!file) return false;
  // Parsed from the file, not from memory: the file is what a user or a support
  // request gets to see, so it must be exactly what the client read.
  return loadXmlFile(path, document);
}

}  // namespace service
