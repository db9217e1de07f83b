#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/loopback_peer.h"

namespace testsupport {

platform::SocketHandle listenLoopback(uint16_t* port, int backlog) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return platform::kInvalidSocket;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(*port);
  socklen_t len = sizeof sa;
  if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    ::close(s);
    return platform::kInvalidSocket;
  }
  *port = ntohs(sa.sin_port);
  return s;
}

platform::SocketHandle acceptConnection(platform::SocketHandle listener, uint32_t ms) {
  if (platform::waitReadable(listener, ms) != 1) return platform::kInvalidSocket;
  const int c = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return c < 0 ? platform::kInvalidSocket : c;
}

int sendUrgentByte(platform::SocketHandle s, char byte) {
  return int(::send(static_cast<int>(s), &byte, 1, MSG_OOB | MSG_NOSIGNAL));
}

void closeWithReset(platform::SocketHandle s) {
  linger l{1, 0};
  ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(static_cast<int>(s));
}

}  // namespace testsupport
