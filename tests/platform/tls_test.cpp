// The TLS stream against servers on loopback: megabytes both ways with a good
// server, and every way a server can fail the checks or end the exchange.
#include "platform/tls.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/tls_front.h"

namespace {

using platform::TlsFailure;
using testsupport::LoopbackPeer;
using testsupport::TlsFront;

constexpr uint32_t kExchangeLimitMs = 30000;
// The longest silence a receive waits out: shorter than the 3 s that the front
// waits for the client's closing alert, so that a missing alert, or bytes that
// the stream holds without saying so, show as a missing end.
constexpr uint32_t kSilenceLimitMs = 2000;

// One front for the whole program: its keys take a moment to make.
TlsFront& front() {
  static TlsFront f;
  return f;
}

std::string pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = TlsFront::pattern(i);
  return bytes;
}

// A socket connected to 127.0.0.1:port, and the stream over it.
struct Client {
  explicit Client(uint16_t port) {
    uint32_t loopback = 0;
    platform::parseDottedIPv4("127.0.0.1", &loopback);
    EXPECT_EQ(platform::connectIPv4(socket, loopback, port), 0);
  }
  ~Client() { platform::closeSocketHandle(socket); }
  platform::SocketHandle socket = platform::openStreamSocket();
  platform::TlsStream tls;
};

// The front's exchange: sends "UP DOWN\n" and `up` bytes, reads `down` bytes,
// closes for sending and reads on to the server's end. Returns the bytes read;
// *end is the last receive's result (-1 as well when the time ran out).
std::string exchange(platform::TlsStream& tls, size_t up, size_t down, int* end) {
  const std::string request = std::to_string(up) + " " + std::to_string(down) + "\n" + pattern(up);
  const uint32_t start = platform::tickCount();
  const auto left = [start] { return kExchangeLimitMs - std::min(kExchangeLimitMs, platform::tickCount() - start); };
  *end = -1;
  for (size_t sent = 0; sent < request.size();) {
    const int n = tls.send(request.data() + sent, int(request.size() - sent));
    if (n > 0) sent += size_t(n);
    if (n < 0 && (!tls.wouldBlock() || tls.waitWritable(left()) != 1)) return {};
  }
  int flushed = 0;
  while ((flushed = tls.flush()) == 0 && tls.waitWritable(left()) == 1) {
  }
  if (flushed != 1) return {};
  std::string got;
  // Less than a record at a time: the rest waits decrypted inside the stream,
  // while the server waits for the closing alert and sends nothing more.
  char buffer[5000];
  while (tls.waitReadable(std::min(left(), kSilenceLimitMs)) == 1) {
    const int n = tls.receive(buffer, sizeof buffer);
    if (n <= 0) {
      *end = n;
      break;
    }
    got.append(buffer, size_t(n));
    if (got.size() == down) tls.close();
  }
  return got;
}

// A plain peer in place of a TLS server.
enum class Plain { kNone, kHttp, kSilent };

struct Case {
  const char* name;
  TlsFront::Kind kind;
  TlsFailure handshake;                // kNone: the handshake passes and the exchange runs
  TlsFailure end = TlsFailure::kNone;  // kNone: the exchange ends with the server's end
  size_t bytes = 0;                    // each way
  const char* host = "localhost";
  const char* caFile = nullptr;  // nullptr: the front's test CA; "": the system's roots
  Plain plain = Plain::kNone;
  uint32_t limitMs = 10000;
};

const Case kCases[] = {
    {"GoodServerMovesMegabytesBothWaysAndEndsWithItsAlert", TlsFront::kGood, TlsFailure::kNone, TlsFailure::kNone,
     3 << 20},
    {"EndWithoutClosingAlertIsAnEnd", TlsFront::kNoAlert, TlsFailure::kNone, TlsFailure::kNone, 40000},
    {"EndInsideARecordFails", TlsFront::kCutRecord, TlsFailure::kNone, TlsFailure::kEnded, 40000},
    {"CertificateOfAnotherCaIsRefused", TlsFront::kForeignCa, TlsFailure::kUntrusted},
    {"CertificateForAnotherHostIsRefused", TlsFront::kOtherHost, TlsFailure::kWrongHost},
    {"AddressMissingFromTheCertificateIsRefused", TlsFront::kOtherHost, TlsFailure::kWrongHost, TlsFailure::kNone, 0,
     "127.0.0.1"},
    {"ExpiredCertificateIsRefused", TlsFront::kExpired, TlsFailure::kExpired},
    {"ServerBelowTls12IsRefused", TlsFront::kOldVersion, TlsFailure::kProtocol},
    {"SystemRootsDoNotTrustTheTestCa", TlsFront::kGood, TlsFailure::kUntrusted, TlsFailure::kNone, 0, "localhost", ""},
    {"MissingCaFileIsRefused", TlsFront::kGood, TlsFailure::kCaFile, TlsFailure::kNone, 0, "localhost",
     "no-such-ca.pem"},
    {"PlainHttpOnTheTlsPortIsNotTls", TlsFront::kGood, TlsFailure::kNotTls, TlsFailure::kNone, 0, "localhost", nullptr,
     Plain::kHttp},
    {"StalledHandshakeEndsAtItsTimeLimit", TlsFront::kGood, TlsFailure::kTimeout, TlsFailure::kNone, 0, "localhost",
     nullptr, Plain::kSilent, 500},
};

class TlsStreamTest : public testing::TestWithParam<Case> {};

TEST_P(TlsStreamTest, Case) {
  const Case& c = GetParam();
  testsupport::ensureSocketsStarted();
  if (!front().ready()) GTEST_SKIP() << front().whyNot();
  LoopbackPeer peer;
  // A plain server answers the first bytes of the hello (a handshake record, 0x16).
  if (c.plain == Plain::kHttp)
    peer.receiveUntil(std::string(1, '\x16')).send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
  if (c.plain == Plain::kSilent) peer.stall();
  peer.start();
  Client client(c.plain == Plain::kNone ? front().port(c.kind) : peer.port());
  const uint32_t start = platform::tickCount();
  const bool done = client.tls.handshake(client.socket, c.host, c.caFile ? c.caFile : front().caFile(), c.limitMs);
  EXPECT_LT(platform::tickCount() - start, c.limitMs + 1000);
  EXPECT_EQ(client.tls.failure(), c.handshake) << client.tls.errorText();
  if (!done) {
    EXPECT_NE(client.tls.errorText().find(c.host), std::string::npos) << client.tls.errorText();
    EXPECT_EQ(client.tls.send("GET", 3), -1);
    EXPECT_FALSE(client.tls.wouldBlock());
    return;
  }
  ASSERT_EQ(c.handshake, TlsFailure::kNone);
  int end = 0;
  EXPECT_TRUE(exchange(client.tls, c.bytes, c.bytes, &end) == pattern(c.bytes));
  EXPECT_EQ(end, c.end == TlsFailure::kNone ? 0 : -1);
  EXPECT_EQ(client.tls.failure(), c.end) << client.tls.errorText();
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsStreamTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
