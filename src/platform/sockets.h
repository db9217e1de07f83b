#pragma once
// TCP sockets for the client's own service requests and the upload component.
// Error codes are Windows Sockets codes on every system (POSIX errno values are
// mapped), so the texts that explain them are the same everywhere.
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Windows Sockets error codes.
enum SocketError : int {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEinprogress = 10036,
  kWsaEalready = 10037,
  kWsaEnotsock = 10038,
  kWsaEdestaddrreq = 10039,
  kWsaEmsgsize = 10040,
  kWsaEprototype = 10041,
  kWsaEnoprotoopt = 10042,
  kWsaEprotonosupport = 10043,
  kWsaEsocktnosupport = 10044,
  kWsaEopnotsupp = 10045,
  kWsaEpfnosupport = 10046,
  kWsaEafnosupport = 10047,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetdown = 10050,
  kWsaEnetunreach = 10051,
  kWsaEnetreset = 10052,
  kWsaEconnaborted = 10053,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEisconn = 10056,
  kWsaEnotconn = 10057,
  kWsaEshutdown = 10058,
  kWsaEtoomanyrefs = 10059,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaEloop = 10062,
  kWsaEnametoolong = 10063,
  kWsaEhostdown = 10064,
  kWsaEhostunreach = 10065,
  kWsaEnotempty = 10066,
  kWsaEproclim = 10067,
  kWsaEusers = 10068,
  kWsaEdquot = 10069,
  kWsaEstale = 10070,
  kWsaEremote = 10071,
  kWsaSysnotready = 10091,
  kWsaVernotsupported = 10092,
  kWsaNotinitialised = 10093,
};

// Starts the socket library once asked for `version` (major in the low byte,
// minor in the high byte). Returns 0 or a Windows Sockets error code; on success
// *granted holds the version the library agreed to. POSIX needs no start-up and
// answers 0 with the version asked for. Code reaches it through its Env (env.h).
int startupSockets(uint16_t version, uint16_t* granted);

// The calling thread's last socket error, as a Windows Sockets code.
int lastSocketError();
// The system's own message for that error, trimmed (empty when it has none).
std::string lastSocketErrorText();

// An IPv4 stream socket, or kInvalidSocket (lastSocketError() tells why).
SocketHandle openStreamSocket();
bool setNonBlocking(SocketHandle s, bool on);
// 0 on success, -1 on failure (lastSocketError(): 10035 while a non-blocking
// connect is under way). `address` is in network byte order.
int connectIPv4(SocketHandle s, uint32_t address, uint16_t port);

// One send of at most `size` bytes: the count sent, or -1. Never raises SIGPIPE.
int sendSome(SocketHandle s, const void* data, int size);
// The same on a socket in non-blocking mode (setNonBlocking): -1 with 10035
// when nothing fits now. The mode is the caller's to set, once for many sends:
// Windows has no per-call flag, and switching the mode around every send
// costs more than the send. `moreFollows` lets the system hold back a partly
// filled packet for the next send (where it can; elsewhere it is ignored).
int sendNonBlocking(SocketHandle s, const void* data, int size, bool moreFollows);
// Sends up to `size` bytes of the open file `file` from `offset`, taken by the
// system from the file itself without passing through the caller, on a socket
// in non-blocking mode: the count sent, 0 when the file ends at `offset`, or
// -1 (10035 when nothing fits now). Never raises SIGPIPE. Only where
// canSendFromFile() holds (Linux's sendfile; Windows reads and sends instead).
bool canSendFromFile();
int sendFromFile(SocketHandle s, FileHandle file, uint64_t offset, int size);
// One receive of at most `size` bytes: the count, 0 when the peer has closed, or -1.
int receiveSome(SocketHandle s, void* buffer, int size);

// Waits until the socket is readable (or writable) for at most `ms` milliseconds.
// 1 ready, 0 time passed, -1 error. A wait interrupted by a signal resumes for
// the rest of its time, so it never spins and never ends early. A socket whose
// connect has failed counts as writable on every system, so a connect's outcome
// is known at once; pendingSocketError then says how it ended.
int waitReadable(SocketHandle s, uint32_t ms);
int waitWritable(SocketHandle s, uint32_t ms);
// For a connected socket: waits until a send can take more bytes. Unlike
// waitWritable it does not count an exceptional socket as ready, so urgent
// data from the peer cannot make every wait end at once.
int waitSendRoom(SocketHandle s, uint32_t ms);

// The error that ended a non-blocking connect (SO_ERROR), as a Windows Sockets
// code, or 0 when the connect succeeded. Reading it clears it.
int pendingSocketError(SocketHandle s);

void shutdownBoth(SocketHandle s);
void closeSocketHandle(SocketHandle s);

// The first IPv4 address of a host name, in network byte order. Thread-safe.
// "localhost" (in any letter case) is 127.0.0.1 without asking the resolver:
// it is the loopback address on every system, and a machine without a hosts
// file would otherwise send the name to its DNS server.
bool lookUpIPv4(const std::string& host, uint32_t* address);
// The same from the system's resolver alone.
bool systemLookUpIPv4(const std::string& host, uint32_t* address);
// inet_addr of a text: false when it is not a dotted number (all-ones result).
bool parseDottedIPv4(const std::string& text, uint32_t* address);

}  // namespace platform
