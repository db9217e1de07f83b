#include <winsock2.h>
#include <ws2tcpip.h>


#include "platform/files.h"
#include "platform/sockets.h"

namespace platform {
namespace {

enum class Wait { kRead, kWrite, kConnect };

// select with a time limit in milliseconds on one socket.
int waitFor(SocketHandle s, Wait wait, uint32_t ms) {
  if (s == kInvalidSocket) {
    WSASetLastError(WSAENOTSOCK);
    return -1;
  }
  fd_set set;
  FD_ZERO(&set);
  FD_SET(static_cast<SOCKET>(s), &set);
  // A failed non-blocking connect shows only in the exception set; counting it
  // as writable makes the outcome known at once, as poll does on POSIX. Once
  // connected, the same set would hold a socket with urgent data from the peer
  // and end every wait at once, so only a connect watches it.
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(static_cast<SOCKET>(s), &failed);
  timeval tv;
  tv.tv_sec = long(ms / 1000);
  tv.tv_usec = long(ms % 1000) * 1000;
  // Windows has no signals that interrupt select, so no resume loop is needed.
  const int r = select(0, wait == Wait::kRead ? &set : nullptr, wait == Wait::kRead ? nullptr : &set,
                       wait == Wait::kConnect ? &failed : nullptr, &tv);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

int startupSockets(uint16_t version, uint16_t* granted) {
  WSADATA data;
  const int r = WSAStartup(version, &data);
  if (r == 0 && granted) *granted = data.wVersion;
  return r;
}

int lastSocketError() { return WSAGetLastError(); }

std::string lastSocketErrorText() { return osErrorText(uint32_t(WSAGetLastError())); }

SocketHandle openStreamSocket() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool setNonBlocking(SocketHandle s, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &mode) == 0;
}

int connectIPv4(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  return connect(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int sendSome(SocketHandle s, const void* data, int size) {
  const int n = send(static_cast<SOCKET>(s), static_cast<const char*>(data), size, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

// Nagle's algorithm, on by default, already joins small sends.
int sendNonBlocking(SocketHandle s, const void* data, int size, bool) { return sendSome(s, data, size); }

// TransmitFile would need an overlapped socket; reading into the caller's
// buffers already sends far faster than the secure road here.
bool canSendFromFile() { return false; }

int sendFromFile(SocketHandle, FileHandle, uint64_t, int) {
  WSASetLastError(WSAEOPNOTSUPP);
  return -1;
}

int receiveSome(SocketHandle s, void* buffer, int size) {
  const int n = recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), size, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int waitReadable(SocketHandle s, uint32_t ms) { return waitFor(s, Wait::kRead, ms); }
int waitWritable(SocketHandle s, uint32_t ms) { return waitFor(s, Wait::kConnect, ms); }
int waitSendRoom(SocketHandle s, uint32_t ms) { return waitFor(s, Wait::kWrite, ms); }

int pendingSocketError(SocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
    err = WSAGetLastError();
  }
  return err;
}

void shutdownBoth(SocketHandle s) { shutdown(static_cast<SOCKET>(s), SD_BOTH); }
void closeSocketHandle(SocketHandle s) {
  if (s != kInvalidSocket) closesocket(static_cast<SOCKET>(s));
}

bool systemLookUpIPv4(const std::string& host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
  bool found = false;
  for (addrinfo* a = res; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr) {
      *address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      found = true;
      break;
    }
  }
  freeaddrinfo(res);
  return found;
}

bool parseDottedIPv4(const std::string& text, uint32_t* address) {
  const unsigned long a = inet_addr(text.c_str());
  if (a == INADDR_NONE) return false;
  *address = static_cast<uint32_t>(a);
  return true;
}

}  // namespace platform
