#pragma once
// What test peers do with sockets that the client never does: listen on
// loopback, accept, send urgent data, end with a reset. The client's own socket
// calls are those of platform/sockets.h; these go to the system directly.
#include <cstdint>

#include "platform/sockets.h"

namespace testsupport {

// A listening socket on 127.0.0.1 with a free port (or `*port` when it is not 0).
platform::SocketHandle listenLoopback(uint16_t* port, int backlog);
// Waits at most `ms` for a connection; kInvalidSocket when none came.
platform::SocketHandle acceptConnection(platform::SocketHandle listener, uint32_t ms);
// One byte of urgent (out-of-band) data.
int sendUrgentByte(platform::SocketHandle s, char byte);
// Closes so that the peer sees a reset instead of an orderly end.
void closeWithReset(platform::SocketHandle s);

}  // namespace testsupport
