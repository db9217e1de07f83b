#pragma once
// TLS servers on 127.0.0.1 for the TLS stream's tests, one port per kind of
// server, all with certificates made when the front starts: a test CA (its
// certificate in caFile()), another CA that nobody trusts, and leaf
// certificates for "localhost" and 127.0.0.1.
//
// Every server plays the same exchange: the client sends "UP DOWN\n" and UP
// bytes of pattern(); the server checks them, answers with DOWN bytes of
// pattern() (nothing when the check failed), waits (at most 3 s) for the
// client's closing alert, and then ends as its kind says.
//
// Natively the front runs inside the test program. A Windows program cannot
// use OpenSSL: under Wine it finds the native front that scripts/test starts
// (tls_front_main.cpp), through FLINGPOST_TEST_TLS_FRONT.
#include <cstdint>
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
