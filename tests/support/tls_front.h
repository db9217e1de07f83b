#pragma once
// TLS servers on 127.0.0.1 for the TLS stream's tests, one port per kind of
// server, all with certificates made when the front starts: a test CA (its
// certificate in caFile()), another CA that nobody trusts, and leaf
// certificates for "localhost" and 127.0.0.1.
//
// Every server but kService plays the same exchange: the client sends
// "UP DOWN\n" and UP bytes of pattern(); the server checks them, answers with
// DOWN bytes of pattern() (nothing when the check failed), waits (at most 3 s)
// for the client's closing alert, and then ends as its kind says. kService is
// the TLS front of the local service stand-in (natively started at its first
// connection), which names every address as "https://localhost:PORT".
//
// Natively the front runs inside the test program. A Windows program cannot
// use OpenSSL: under Wine it finds the native front that scripts/test starts
// (tls_front_main.cpp), through FLINGPOST_TEST_TLS_FRONT.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace testsupport {

class TlsFront {
 public:
  enum Kind {
    kGood,        // sends its closing alert, then waits for the client to close
    kForeignCa,   // a certificate from the CA that nobody trusts
    kOtherHost,   // a certificate for another host name
    kExpired,     // a certificate whose dates have passed
    kNoAlert,     // ends the connection without the closing alert
    kCutRecord,   // ends in the middle of a record
    kOldVersion,  // speaks TLS 1.1 at most
    kService,     // relays the bytes both ways to and from the stand-in
    kKinds
  };

  TlsFront();
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  // False when there is no front (under Wine: scripts/test did not start one);
  // whyNot() then says why, for the test's skip message.
  bool ready() const { return !caFile_.empty(); }
  const std::string& whyNot() const { return whyNot_; }
  uint16_t port(Kind kind) const { return ports_[kind]; }
  const std::string& caFile() const { return caFile_; }

  // "CAFILE PORT..." in the order of Kind, for FLINGPOST_TEST_TLS_FRONT
  // (native front only).
  std::string describe() const;
  // Bytes of application data that servers of `kind` have received so far,
  // counted as each connection ends, from the record kept beside the CA file.
  size_t received(Kind kind) const {
    std::ifstream record(caFile_.substr(0, caFile_.find_last_of("/\\") + 1) + "received.txt");
    size_t total = 0, bytes = 0;
    for (int k = 0; record >> k >> bytes;) total += k == kind ? bytes : 0;
    return total;
  }

  // Byte i of every exchange.
  static char pattern(size_t i) { return char(i % 251); }

 private:
  struct Servers;
  std::unique_ptr<Servers> servers_;
  std::string caFile_;
  std::string whyNot_;
  uint16_t ports_[kKinds] = {};
};

}  // namespace testsupport
