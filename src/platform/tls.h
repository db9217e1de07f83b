#pragma once
// TLS over a connected socket, for the service requests and the uploads: one
// stream on every system (OpenSSL on POSIX, SChannel on Windows), TLS 1.2 or
// newer. The server's certificate must chain to a trusted root and name the
// host; nothing switches those checks off.
//
// Results follow the plain socket functions of sockets.h: byte counts, 0 for
// the peer's end, -1 for "not now" (wouldBlock()) or a failure (failure() and
// errorText(), which names the host and the reason). After a failure every
// call fails the same way, once the bytes decrypted before it are handed out.
// One thread at a time.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/sockets.h"

namespace platform {

namespace tls_detail {
class TlsEngine;
}

// Why a handshake or a transfer failed.
enum class TlsFailure {
  kNone,
  kUntrusted,       // the chain does not reach a trusted root
  kWrongHost,       // the certificate does not name the host
  kExpired,         // a certificate of the chain is outside its dates
  kBadCertificate,  // any other fault of the certificate
  kCaFile,          // the CA file cannot be read or holds no certificate
  kNotTls,          // the server answered with something other than TLS
  kTimeout,         // the handshake did not finish within its time
  kEnded,           // the connection ended during the handshake or inside a record
  kProtocol,        // the TLS exchange itself failed: versions, ciphers, alerts, damage
  kSocket,          // the socket failed
};

class TlsStream {
 public:
  TlsStream();
  // Frees the TLS state; the socket stays open (its owner closes it).
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // The client handshake over `s`, a connected socket, for `host`: the name
  // that the certificate must carry (an IPv4 number is matched against the
  // certificate's addresses where the system can). `caFile` empty trusts the
  // system's roots; otherwise exactly the certificates of that PEM file. The
  // whole handshake, checks included, takes at most `timeoutMs`. From here on
  // the socket is non-blocking and every byte on it goes through the stream.
  // False on any failure; nothing can be sent then. Once per stream.
  bool handshake(SocketHandle s, const std::string& host, const std::string& caFile, uint32_t timeoutMs);

  // Takes up to `size` bytes and returns how many it took, or -1. Bytes are
  // gathered into full records: they are on the wire only once flush() has
  // answered 1. Never blocks; -1 with wouldBlock() while earlier bytes still
  // wait for room on the socket.
  int send(const void* data, int size);
  // Pushes out every byte taken: 1 when all are on the wire, 0 when some still
  // wait for room (wait writable, then flush again), -1 on a failure.
  int flush();
  // Up to `size` decrypted bytes: the count, 0 when the server has ended the
  // stream (with a closing alert or, between records, without one), -1 with
  // wouldBlock() when nothing has arrived yet. Never blocks.
  int receive(void* buffer, int size);

  // Wait at most `ms`: 1 when receive() has something to report (bytes, the
  // end or a failure), 0 when the time passed, -1 when the wait itself failed.
  // Decrypted bytes already held count at once.
  int waitReadable(uint32_t ms);
  // 1 when send() can take bytes again (or flush() make progress), 0, -1.
  int waitWritable(uint32_t ms);

  // Sends the closing alert after the bytes taken, if they fit on the socket
  // now (flush() then pushes the rest); never blocks. Sending ends here;
  // receiving goes on until the server's end.
  void close();

  bool wouldBlock() const { return wouldBlock_; }
  TlsFailure failure() const { return failure_; }
  const std::string& errorText() const { return errorText_; }

 private:
  // The handshake's two halves: the trusted roots and the engine for the
  // host, then the exchange with the server within the time.
  bool setUp(const std::string& caFile);
  bool exchangeHandshake(uint32_t timeoutMs);
  // Sets the failure and its text (the first one stays); returns false.
  bool fail(TlsFailure why, const std::string& detail);
  int notNow();
  // False, with a failure, when the stream cannot be used (for sending).
  bool usable();
  bool sendable();
  // Sends what it can of the pending ciphertext without blocking; false on a
  // socket failure.
  bool push();
  // Reads what the socket holds without blocking and decrypts the whole
  // records in it; false on a failure.
  bool pull();
  // Reads what the socket holds now, without blocking, behind the bytes kept:
  // *whole is the length of the whole records at their front (each checked to
  // look like TLS), *end whether the server has closed.
  bool receiveRecords(size_t* whole, bool* end);
  bool encryptStaged();
  size_t pending() const { return out_.size() - outPos_; }
  bool hasSomethingToReport() const;

  SocketHandle socket_ = kInvalidSocket;
  std::string host_;
  std::unique_ptr<tls_detail::TlsEngine> engine_;
  std::string in_;     // bytes from the server not yet decrypted
  std::string plain_;  // decrypted bytes not yet handed out, from plainPos_
  size_t plainPos_ = 0;
  std::string staged_;  // bytes taken by send() that fill less than a record
  std::string out_;     // ciphertext not yet on the wire, from outPos_
  size_t outPos_ = 0;
  bool connected_ = false;
  bool closed_ = false;
  bool ended_ = false;
  bool sawTls_ = false;
  bool wouldBlock_ = false;
  TlsFailure failure_ = TlsFailure::kNone;
  std::string errorText_;
};

}  // namespace platform
