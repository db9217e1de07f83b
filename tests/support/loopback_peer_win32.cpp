#include <winsock2.h>

#include "support/loopback_peer.h"

namespace testsupport {

platform::SocketHandle listenLoopback(uint16_t* port, int backlog) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return platform::kInvalidSocket;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(*port);
  int len = sizeof sa;
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, backlog) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    closesocket(s);
    return platform::kInvalidSocket;
  }
  *port = ntohs(sa.sin_port);
  return static_cast<platform::SocketHandle>(s);
}

platform::SocketHandle acceptConnection(platform::SocketHandle listener, uint32_t ms) {
  if (platform::waitReadable(listener, ms) != 1) return platform::kInvalidSocket;
  const SOCKET c = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return c == INVALID_SOCKET ? platform::kInvalidSocket : static_cast<platform::SocketHandle>(c);
}

int sendUrgentByte(platform::SocketHandle s, char byte) {
  const int n = send(static_cast<SOCKET>(s), &byte, 1, MSG_OOB);
  return n == SOCKET_ERROR ? -1 : n;
}

void closeWithReset(platform::SocketHandle s) {
  linger l;
  l.l_onoff = 1;
  l.l_linger = 0;
  setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  closesocket(static_cast<SOCKET>(s));
}

}  // namespace testsupport
