#pragma once
// Connections through an HTTP proxy: the proxy a connection goes through, and
// the CONNECT tunnel that a secure connection opens through it before its
// handshake. A plain connection needs no tunnel: its request names the whole
// address instead (see the request writer).
#include <cstdint>
#include <string>

#include "component/log/diagnostic_log.h"

namespace component {

class ProgressMonitor;
class TcpSocket;

// The HTTP proxy a connection goes through on its way to the server.
struct ProxyHop {
  std::string host;           // empty: no proxy
  int port = 0;
  std::string authorization;  // "Basic ..." for the Proxy-Authorization field, or ""
  bool used() const { return !host.empty(); }
  // "host:port", as messages name the proxy.
  std::string address() const { return host + ":" + std::to_string(port); }
};

// Over `socket`, connected to `proxy`, asks for a tunnel to `target`
// ("host:port") and waits at most `timeLimitMs` (0: six hours) for the answer,
// in heartbeat slices with an abort check after each. True when the tunnel is
// open. Otherwise the socket is closed, *failure says why in the user's words
// (naming the proxy and the target) and the log has it too.
bool openTunnel(TcpSocket& socket, const ProxyHop& proxy, const std::string& target, uint32_t timeLimitMs,
                uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor, std::string* failure);

}  // namespace component
