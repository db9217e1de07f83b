// The texts that explain Windows Sockets error codes in the component's logs.
#include <cstdio>

#include "component/net/tcp_socket.h"

namespace component {
namespace {

struct ErrorText {
  int code;
  const char* text;
};

const ErrorText kErrorTexts[] = {
    {platform::kWsaNotinitialised, "WSANOTINITIALISED A successful WSAStartup must occur before using this function."},
    {platform::kWsaEwouldblock, "WSAEWOULDBLOCK The socket would block."},
    {platform::kWsaEconnaborted,
     "WSAECONNABORTED An established connection was aborted by the software in your host machine."},
    {platform::kWsaEnetdown, "WSAENETDOWN The network subsystem or the associated service provider has failed."},
    {platform::kWsaEafnosupport, "WSAEAFNOSUPPORT The specified address family is not supported."},
    {platform::kWsaEinprogress,
     "WSAEINPROGRESS A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
     "processing a callback function."},
    {platform::kWsaEmfile, "WSAEMFILE No more socket descriptors are available."},
    {platform::kWsaEnobufs, "WSAENOBUFS No buffer space is available. The socket cannot be created."},
    {platform::kWsaEprotonosupport, "WSAEPROTONOSUPPORT The specified protocol is not supported."},
    {platform::kWsaEprototype, "WSAEPROTOTYPE The specified protocol is the wrong type for this socket."},
    {platform::kWsaEsocktnosupport,
     "WSAESOCKTNOSUPPORT The specified socket type is not supported in this address family."},
    {platform::kWsaEnetunreach, "WSAENETUNREACH A socket operation was attempted to an unreachable network."},
    {platform::kWsaEtimedout,
     "WSAETIMEDOUT A connection attempt failed because the connected party did not properly respond after a "
     "period of time, or established connection failed because connected host has failed to respond."},
    {platform::kWsaEconnrefused,
     "WSAECONNREFUSED No connection could be made because the target machine actively refused it."},
    {platform::kWsaEconnreset, "WSAECONNRESET An existing connection was forcibly closed by the remote host."},
};

}  // namespace

void reportSocketError(int code, DiagnosticLog& log) {
  for (const ErrorText& e : kErrorTexts) {
    if (e.code != code) continue;
    log.logData("SocketError", e.text);
    if (code == platform::kWsaEwouldblock) {
      log.logError("Check to make sure the port is not blocked by a firewall.");
    } else if (code == platform::kWsaEconnaborted) {
      log.logError("This is commonly caused by anti-virus programs that may be running.");
      log.logError("Check Mcafee's port filtering. If enabled, add your app to the exclusion list.");
    }
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "Error %x", static_cast<unsigned>(code));
  log.logData("SocketError", text);
  log.logError("Check to make sure the connection is not blocked by a firewall or anti-virus port filtering.");
}

}  // namespace component
