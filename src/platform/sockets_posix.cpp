#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sockets.h"

namespace platform {
namespace {

thread_local int t_lastError = 0;
// The errno behind t_lastError, for the system's message text.
thread_local int t_lastErrno = 0;

// Codes for errno values that Windows Sockets has no word for: Windows
// reserves this bit for codes of applications, so none of its texts applies.
constexpr int kPosixOnlyError = 0x20000000;

int mapErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EINPROGRESS: return kWsaEwouldblock;  // a non-blocking connect under way, as Windows reports it
    case EALREADY: return kWsaEalready;
    case EINTR: return kWsaEintr;
    case EACCES:
    case EPERM: return kWsaEacces;
    case EFAULT: return kWsaEfault;
    case EINVAL: return kWsaEinval;
    case EMFILE:
    case ENFILE: return kWsaEmfile;
    case ENOTSOCK:
    case EBADF: return kWsaEnotsock;  // what Windows says of a closed handle
    case EDESTADDRREQ: return kWsaEdestaddrreq;
    case EMSGSIZE: return kWsaEmsgsize;
    case EPROTOTYPE: return kWsaEprototype;
    case ENOPROTOOPT: return kWsaEnoprotoopt;
    case EPROTONOSUPPORT: return kWsaEprotonosupport;
    case ESOCKTNOSUPPORT: return kWsaEsocktnosupport;
    case EOPNOTSUPP: return kWsaEopnotsupp;
    case EPFNOSUPPORT: return kWsaEpfnosupport;
    case EAFNOSUPPORT: return kWsaEafnosupport;
    case EADDRINUSE: return kWsaEaddrinuse;
    case EADDRNOTAVAIL: return kWsaEaddrnotavail;
    case ENETDOWN: return kWsaEnetdown;
    case ENETUNREACH: return kWsaEnetunreach;
    case ENETRESET: return kWsaEnetreset;
    case ECONNABORTED: return kWsaEconnaborted;
    case ECONNRESET:
    case EPIPE: return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM: return kWsaEnobufs;
    case EISCONN: return kWsaEisconn;
    case ENOTCONN: return kWsaEnotconn;
    case ESHUTDOWN: return kWsaEshutdown;
    case ETOOMANYREFS: return kWsaEtoomanyrefs;
    case ETIMEDOUT: return kWsaEtimedout;
    case ECONNREFUSED: return kWsaEconnrefused;
    case ELOOP: return kWsaEloop;
    case ENAMETOOLONG: return kWsaEnametoolong;
    case EHOSTDOWN: return kWsaEhostdown;
    case EHOSTUNREACH: return kWsaEhostunreach;
    case ENOTEMPTY: return kWsaEnotempty;
    case EUSERS: return kWsaEusers;
    case EDQUOT: return kWsaEdquot;
    case ESTALE: return kWsaEstale;
    case EREMOTE: return kWsaEremote;
    default: return kPosixOnlyError | e;
  }
}

void noteErrno() {
  t_lastErrno = errno;
  t_lastError = mapErrno(errno);
}

// Holds SIGPIPE back in this thread while it lives, unless the process
// ignores it, and takes off again one that came meanwhile (one that was
// pending before is left alone): for calls that have no MSG_NOSIGNAL.
class BrokenPipeGuard {
 public:
  BrokenPipeGuard() {
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    active_ = action.sa_handler != SIG_IGN;
    if (!active_) return;
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~BrokenPipeGuard() {
    if (!active_) return;
    const int saved = errno;
    if (!wasPending_) {
      const timespec none{0, 0};
      sigtimedwait(&pipe_, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = saved;
  }
  BrokenPipeGuard(const BrokenPipeGuard&) = delete;
  BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

 private:
  bool active_ = false;
  bool wasPending_ = true;
  sigset_t pipe_{};
  sigset_t old_{};
};

int waitFor(SocketHandle s, short events, uint32_t ms) {
  if (s == kInvalidSocket) {
    t_lastError = kWsaEnotsock;
    return -1;
  }
  const uint32_t start = tickCount();
  uint32_t left = ms;
  for (;;) {
    pollfd p{static_cast<int>(s), events, 0};
    const int timeout = left > 0x7FFFFFFFu ? 0x7FFFFFFF : int(left);
    const int r = ::poll(&p, 1, timeout);
    if (r > 0) {
      if (p.revents & POLLNVAL) {
        t_lastError = kWsaEnotsock;
        return -1;
      }
      // Errors and hang-ups count as ready: the next send or receive reports them,
      // as select does on Windows.
      return 1;
    }
    if (r == 0) return 0;
    if (errno != EINTR) {
      noteErrno();
      return -1;
    }
    const uint32_t spent = tickCount() - start;
    if (spent >= ms) return 0;
    left = ms - spent;
  }
}

}  // namespace

int startupSockets(uint16_t version, uint16_t* granted) {
  if (granted) *granted = version;
  return 0;
}

int lastSocketError() { return t_lastError; }

std::string lastSocketErrorText() { return t_lastErrno ? osErrorText(uint32_t(t_lastErrno)) : std::string(); }

SocketHandle openStreamSocket() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    noteErrno();
    return kInvalidSocket;
  }
  return s;
}

bool setNonBlocking(SocketHandle s, bool on) {
  const int fd = static_cast<int>(s);
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

int connectIPv4(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  if (::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return 0;
  if (errno == EINTR) {
    // A blocking connect cut short by a signal goes on in the background: wait
    // for its outcome instead of reporting a failure.
    if (waitFor(s, POLLOUT, 0xFFFFFFFFu) != 1) return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err == 0) return 0;
    errno = err;
  }
  noteErrno();
  return -1;
}

int sendSome(SocketHandle s, const void* data, int size) {
  ssize_t n;
  do {
    n = ::send(static_cast<int>(s), data, size_t(size), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    noteErrno();
    return -1;
  }
  return int(n);
}

int sendNonBlocking(SocketHandle s, const void* data, int size, bool moreFollows) {
  // MSG_DONTWAIT as well, so that a socket whose mode was not set cannot block
  // here. MSG_MORE spares a packet (and the receiving side's work) for every
  // small piece.
  const int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0);
  ssize_t n;
  do {
    n = ::send(static_cast<int>(s), data, size_t(size), flags);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    noteErrno();
    return -1;
  }
  return int(n);
}

bool canSendFromFile() { return true; }

int sendFromFile(SocketHandle s, FileHandle file, uint64_t offset, int size) {
  const off_t at = off_t(offset);
  off_t next = at;
  ssize_t n;
  {
    const BrokenPipeGuard guard;  // sendfile has no MSG_NOSIGNAL
    do {
      n = ::sendfile(static_cast<int>(s), static_cast<int>(file), &next, size_t(size));
    } while (n < 0 && errno == EINTR);
  }
  if (n < 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
    // A file system that cannot splice: the piece is read and sent instead.
    unsigned char buffer[16 * 1024];
    do {
      n = ::pread(static_cast<int>(file), buffer, std::min(sizeof buffer, size_t(size)), at);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return sendNonBlocking(s, buffer, int(n), false);
  }
  if (n < 0) {
    noteErrno();
    return -1;
  }
  return int(n);
}

int receiveSome(SocketHandle s, void* buffer, int size) {
  ssize_t n;
  do {
    n = ::recv(static_cast<int>(s), buffer, size_t(size), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    noteErrno();
    return -1;
  }
  return int(n);
}

int waitReadable(SocketHandle s, uint32_t ms) { return waitFor(s, POLLIN, ms); }
int waitWritable(SocketHandle s, uint32_t ms) { return waitFor(s, POLLOUT, ms); }
// poll reports urgent data only to those who ask for POLLPRI.
int waitSendRoom(SocketHandle s, uint32_t ms) { return waitFor(s, POLLOUT, ms); }

int pendingSocketError(SocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  return mapErrno(err);
}

void shutdownBoth(SocketHandle s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }
void closeSocketHandle(SocketHandle s) {
  if (s != kInvalidSocket) ::close(static_cast<int>(s));
}

bool systemLookUpIPv4(const std::string& host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
  bool found = false;
  for (addrinfo* a = res; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr) {
      *address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      found = true;
      break;
    }
  }
  ::freeaddrinfo(res);
  return found;
}

bool parseDottedIPv4(const std::string& text, uint32_t* address) {
  const in_addr_t a = ::inet_addr(text.c_str());
  if (a == INADDR_NONE) return false;
  *address = a;
  return true;
}

}  // namespace platform
