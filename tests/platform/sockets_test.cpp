// The platform socket layer: Windows Sockets error codes on every system, the
// outcome of a non-blocking connect, waits that keep their time, and the
// address helpers.
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/signal_storm.h"

namespace {

uint32_t loopbackAddress() {
  uint32_t a = 0;
  EXPECT_TRUE(platform::parseDottedIPv4("127.0.0.1", &a));
  return a;
}

// A connected pair: the client side here, the accepted side in `server`.
struct Pair {
  Pair() {
    testsupport::ensureSocketsStarted();
    listener = platform::listenLoopback(&port, 4);
    client = platform::openStreamSocket();
    EXPECT_EQ(platform::connectIPv4(client, loopbackAddress(), port), 0);
    server = platform::acceptConnection(listener, 2000);
    EXPECT_NE(server, platform::kInvalidSocket);
  }
  ~Pair() {
    platform::closeSocketHandle(client);
    platform::closeSocketHandle(server);
    platform::closeSocketHandle(listener);
  }
  uint16_t port = 0;
  platform::SocketHandle listener, client, server;
};

TEST(PlatformSocketConnect, RefusedConnectGivesTheWindowsCode) {
  const uint16_t port = testsupport::closedLoopbackPort();
  const platform::SocketHandle blocking = platform::openStreamSocket();
  ASSERT_NE(blocking, platform::kInvalidSocket);
  EXPECT_EQ(platform::connectIPv4(blocking, loopbackAddress(), port), -1);
  EXPECT_EQ(platform::lastSocketError(), platform::kWsaEconnrefused);
  EXPECT_FALSE(platform::lastSocketErrorText().empty());
  platform::closeSocketHandle(blocking);

  // Without blocking the refusal is known at once, as the pending error.
  const platform::SocketHandle s = platform::openStreamSocket();
  ASSERT_TRUE(platform::setNonBlocking(s, true));
  if (platform::connectIPv4(s, loopbackAddress(), port) == -1 &&
      platform::lastSocketError() == platform::kWsaEwouldblock) {
    const uint32_t start = platform::tickCount();
    EXPECT_EQ(platform::waitWritable(s, 3000), 1);
    EXPECT_LT(platform::tickCount() - start, 2500u);
    EXPECT_EQ(platform::pendingSocketError(s), platform::kWsaEconnrefused);
  } else {
    EXPECT_EQ(platform::lastSocketError(), platform::kWsaEconnrefused);
  }
  platform::closeSocketHandle(s);
}

TEST(PlatformSocketErrors, SystemErrorsGiveTheirWindowsSocketsCodes) {
  Pair pair;
  EXPECT_EQ(platform::connectIPv4(pair.client, loopbackAddress(), pair.port), -1);
  EXPECT_EQ(platform::lastSocketError(), 10056) << "a connected socket connects again: the same code everywhere";
#ifndef _WIN32
  const struct {
    int posix, windows;
  } cases[] = {{EISCONN, 10056},     {EADDRNOTAVAIL, 10049}, {ESHUTDOWN, 10058}, {EMSGSIZE, 10040},
               {ENOPROTOOPT, 10042}, {EOPNOTSUPP, 10045},    {ENETRESET, 10052}, {EHOSTDOWN, 10064},
               {EACCES, 10013},      {EINPROGRESS, 10035},   {EPIPE, 10054},     {EDQUOT, 10069}};
  for (const auto& c : cases) EXPECT_EQ(platform::socketErrorCode(c.posix), c.windows) << c.posix;
  // Errors without a Windows counterpart (ENOSYS is 38 here, ENODATA 61) must
  // not borrow the text of a Windows Sockets code.
  for (int e : {EIO, ENOSYS, ENODATA}) {
    const int code = platform::socketErrorCode(e);
    EXPECT_TRUE(code < 10000 || code > 11999) << e << " gave " << code;
  }
#endif
}

TEST(PlatformSocketConnect, SuccessfulNonBlockingConnectHasNoPendingError) {
  testsupport::LoopbackPeer peer;
  peer.start();
  const platform::SocketHandle s = platform::openStreamSocket();
  ASSERT_TRUE(platform::setNonBlocking(s, true));
  if (platform::connectIPv4(s, loopbackAddress(), peer.port()) == -1) {
    ASSERT_EQ(platform::lastSocketError(), platform::kWsaEwouldblock);
    EXPECT_EQ(platform::waitWritable(s, 2000), 1);
  }
  EXPECT_EQ(platform::pendingSocketError(s), 0);
  platform::closeSocketHandle(s);
}

TEST(PlatformSocketWait, WaitsItsWholeTimeUntilDataOrTheClose) {
  Pair pair;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(platform::waitReadable(pair.client, 120), 0);
  EXPECT_GE(platform::tickCount() - start, 115u);
  ASSERT_EQ(platform::sendSome(pair.server, "z", 1), 1);
  EXPECT_EQ(platform::waitReadable(pair.client, 2000), 1);
  char c = 0;
  EXPECT_EQ(platform::receiveSome(pair.client, &c, 1), 1);
  EXPECT_EQ(c, 'z');
  // A closed peer makes the socket readable, with zero bytes.
  platform::shutdownBoth(pair.server);
  EXPECT_EQ(platform::waitReadable(pair.client, 2000), 1);
  EXPECT_EQ(platform::receiveSome(pair.client, &c, 1), 0);

  EXPECT_EQ(platform::waitReadable(platform::kInvalidSocket, 10), -1);
  EXPECT_EQ(platform::waitWritable(platform::kInvalidSocket, 10), -1);
}

TEST(PlatformSocketSend, WouldBlockOnAFullBufferIsTheWindowsCode) {
  Pair pair;
  ASSERT_TRUE(platform::setNonBlocking(pair.client, true));
  static char chunk[65536];
  int result = 0;
  for (int i = 0; i < 10000 && result >= 0; ++i) result = platform::sendSome(pair.client, chunk, sizeof chunk);
  ASSERT_EQ(result, -1);
  EXPECT_EQ(platform::lastSocketError(), platform::kWsaEwouldblock);
}

#ifndef _WIN32
// Signals interrupt poll on POSIX; a wait must neither fail nor end early.
TEST(PlatformSocketWait, SignalsDuringAWaitNeitherFailNorShortenIt) {
  Pair pair;
  testsupport::SignalStorm storm;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(platform::waitReadable(pair.client, 300), 0);
  EXPECT_GE(platform::tickCount() - start, 295u);
  EXPECT_GE(testsupport::SignalStorm::signals(), 3);
}
#endif

TEST(PlatformSocketAddress, DottedNumbersParseAndFormatBack) {
  uint32_t a = 0;
  ASSERT_TRUE(platform::parseDottedIPv4("192.168.10.254", &a));
  EXPECT_EQ(platform::formatIPv4(a), "192.168.10.254");
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&a);
  EXPECT_EQ(b[0], 192);  // network byte order
  EXPECT_FALSE(platform::parseDottedIPv4("peer.invalid", &a));
  EXPECT_FALSE(platform::parseDottedIPv4("255.255.255.255", &a));  // the all-ones answer means "not a number"
}

TEST(PlatformSocketAddress, LookUpFindsLoopbackNamesAndNotReservedOnes) {
  testsupport::ensureSocketsStarted();
  uint32_t a = 0;
  ASSERT_TRUE(platform::lookUpIPv4("127.0.0.1", &a));
  EXPECT_EQ(platform::formatIPv4(a), "127.0.0.1");
  EXPECT_FALSE(platform::lookUpIPv4("nohost.invalid", &a));
  EXPECT_FALSE(platform::lookUpIPv4("", &a));
}

}  // namespace
