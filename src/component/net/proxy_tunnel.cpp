#include "component/net/proxy_tunnel.h"

#include "component/net/progress_monitor.h"
#include "component/net/tcp_socket.h"
#include "platform/proxy.h"

namespace component {

bool openTunnel(TcpSocket& socket, const ProxyHop& proxy, const std::string& target, uint32_t timeLimitMs,
                uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor, std::string* failure) {
  std::function<bool()> stop;
  if (monitor) stop = [monitor, heartbeatMs] { return monitor->checkAbort(heartbeatMs); };
  const platform::ProxyTunnel tunnel =
      platform::openProxyTunnel(socket.handle(), proxy.address(), target, proxy.authorization,
                                timeLimitMs ? timeLimitMs : kUnlimitedWaitMs, heartbeatMs, stop);
  if (tunnel.outcome == platform::ProxyTunnel::Outcome::kOpen) return true;
  *failure = tunnel.errorText;
  log.logError(failure->c_str());
  if (!tunnel.statusLine.empty()) log.logData("proxyStatusLine", tunnel.statusLine.c_str());
  socket.closeSocket();
  return false;
}

}  // namespace component
