// Connection establishment: host look-up with cleaning and retries, the plain
// and the monitored connect against loopback peers, and the socket error texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/net/net_test_util.h"
#include "component/net/progress_monitor.h"
#include "component/net/socket_connection.h"
#include "component/net/tcp_socket.h"
#include "platform/clock.h"
#include "support/loopback_peer.h"

namespace {

using component::ProgressMonitor;
using component::RecordingLog;
using component::StringBuffer;
using component::TcpSocket;
using nettest::CountingCallback;
using nettest::FakeClock;
using nettest::occurrences;
using nettest::textOf;
using testing::HasSubstr;

// Replaces the resolver for one test: records every name asked, answers
// 127.0.0.1 for the names it knows, and moves the fake clock per look-up.
class LookupScript {
 public:
  explicit LookupScript(std::set<std::string> known = {}, uint32_t msPerLookup = 0) {
    known_ = std::move(known);
    msPerLookup_ = msPerLookup;
    asked_.clear();
    component::setHostLookupForTesting(&lookUp);
  }
  ~LookupScript() { component::setHostLookupForTesting(nullptr); }
  static const std::vector<std::string>& asked() { return asked_; }

 private:
  static bool lookUp(const std::string& host, uint32_t* address) {
    asked_.push_back(host);
    FakeClock::advance(msPerLookup_);
    if (!known_.count(host)) return false;
    return platform::parseDottedIPv4("127.0.0.1", address);
  }
  static inline std::set<std::string> known_;
  static inline uint32_t msPerLookup_ = 0;
  static inline std::vector<std::string> asked_;
};

using Names = std::vector<std::string>;

// A loopback port on which nothing listens.
uint16_t closedPort() {
  testsupport::ensureSocketsStarted();
  uint16_t port = 0;
  const platform::SocketHandle s = platform::listenLoopback(&port, 1);
  platform::closeSocketHandle(s);
  return port;
}

TEST(ResolveHost, NameFoundAsGivenIsLookedUpOnce) {
  LookupScript script({"peer.invalid"});
  uint32_t address = 0;
  EXPECT_TRUE(component::resolveHost("peer.invalid", &address));
  EXPECT_EQ(platform::formatIPv4(address), "127.0.0.1");
  EXPECT_EQ(LookupScript::asked(), Names{"peer.invalid"});
}

TEST(ResolveHost, StrayBlankOrTrailingSlashIsCleanedAway) {
  LookupScript script({"peer.invalid"});
  uint32_t address = 0;
  EXPECT_TRUE(component::resolveHost(" peer.invalid/", &address));
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid/", "peer.invalid"}));
  EXPECT_TRUE(component::resolveHost("\"Peer.Invalid/\"", &address));
  EXPECT_TRUE(component::resolveHost("<peer.\tinvalid:>", &address));
}

TEST(ResolveHost, NameWithOneDotIsTriedWithWww) {
  LookupScript script({"www.peer.invalid"});
  uint32_t address = 0;
  // Same length after cleaning: no second look-up of the lower-cased copy.
  EXPECT_TRUE(component::resolveHost("Peer.Invalid", &address));
  EXPECT_EQ(LookupScript::asked(), (Names{"Peer.Invalid", "www.peer.invalid"}));
}

TEST(ResolveHost, NameWithTwoDotsGetsNoWwwRetry) {
  LookupScript script;
  uint32_t address = 0;
  EXPECT_FALSE(component::resolveHost("a.peer.invalid", &address));
  EXPECT_EQ(LookupScript::asked(), Names{"a.peer.invalid"});
}

TEST(ResolveHost, NothingLeftAfterCleaningStopsAfterTheFirstLookUp) {
  LookupScript script;
  uint32_t address = 0;
  EXPECT_FALSE(component::resolveHost(" :// ", &address));
  EXPECT_EQ(LookupScript::asked(), Names{" :// "});
}

TEST(ResolveHost, LatinCapitalsAreLoweredToo) {
  LookupScript script({"www.\xe9t\xe9.invalid"});
  uint32_t address = 0;
  EXPECT_TRUE(component::resolveHost("\xc9T\xc9.invalid", &address));
}

bool timedLookUp(const char* host, uint32_t limitMs, RecordingLog& log, StringBuffer& dotted) {
  uint32_t address = 0;
  return component::resolveHostTimed(host, limitMs, log, dotted, &address);
}

TEST(ResolveHostTimed, FillsTheDottedAddress) {
  LookupScript script({"peer.invalid"});
  RecordingLog log;
  StringBuffer dotted("stale");
  EXPECT_TRUE(timedLookUp("peer.invalid", 1000, log, dotted));
  EXPECT_STREQ(dotted.getString(), "127.0.0.1");
}

TEST(ResolveHostTimed, BudgetUsedUpByTheFirstLookUpStopsTheRetries) {
  FakeClock clock;
  LookupScript script({}, 600);
  RecordingLog log;
  StringBuffer dotted("stale");
  EXPECT_FALSE(timedLookUp(" peer.invalid", 500, log, dotted));
  EXPECT_EQ(LookupScript::asked().size(), 1u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  DNS timed out.\r\n");
  EXPECT_STREQ(dotted.getString(), "");
}

TEST(ResolveHostTimed, BudgetShrinksWithEachLookUp) {
  FakeClock clock;
  LookupScript script({}, 400);
  RecordingLog log;
  StringBuffer dotted;
  // 400 of 1000, then 400 of the 600 left: the "www." try still runs.
  EXPECT_FALSE(timedLookUp(" peer.invalid", 1000, log, dotted));
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid", "peer.invalid", "www.peer.invalid"}));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");

  LookupScript slower({}, 600);
  EXPECT_FALSE(timedLookUp(" peer.invalid", 1000, log, dotted));
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid", "peer.invalid"}));
  EXPECT_THAT(textOf(log), HasSubstr("DNS timed out."));
}

TEST(ResolveHostTimed, ZeroLimitNeverTimesOut) {
  FakeClock clock;
  LookupScript script({}, 100000);
  RecordingLog log;
  StringBuffer dotted;
  EXPECT_FALSE(timedLookUp(" peer.invalid", 0, log, dotted));
  EXPECT_EQ(LookupScript::asked().size(), 3u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

TEST(TcpConnect, LocalhostInAnyCaseWithBlanksConnectsWithoutLookUp) {
  LookupScript script;
  testsupport::LoopbackPeer peer;
  peer.nextConnection().nextConnection();
  peer.start();
  for (const char* host : {"localhost", "  LocalHost\t", "LOCALHOST \r\n"}) {
    TcpSocket socket;
    RecordingLog log;
    EXPECT_TRUE(socket.connectPlain(host, peer.port(), log)) << host << textOf(log);
    EXPECT_TRUE(socket.isConnected());
  }
  EXPECT_TRUE(LookupScript::asked().empty());
}

TEST(TcpConnect, DottedNumberIsNeverLookedUp) {
  LookupScript script;
  testsupport::LoopbackPeer peer;
  peer.nextConnection();
  peer.start();
  TcpSocket plain;
  RecordingLog log;
  EXPECT_TRUE(plain.connectPlain("127.0.0.1", peer.port(), log));
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  TcpSocket monitored;
  EXPECT_TRUE(monitored.connectTo("127.0.0.1", peer.port(), 100, log, &monitor));
  EXPECT_TRUE(LookupScript::asked().empty());
}

TEST(TcpConnect, NameFoundAfterCleaningConnects) {
  LookupScript script({"peer.invalid"});
  testsupport::LoopbackPeer peer;
  peer.start();
  TcpSocket socket;
  RecordingLog log;
  EXPECT_TRUE(socket.connectPlain("peer.invalid/", peer.port(), log)) << textOf(log);
}

TEST(TcpConnect, HostArgumentsThatCannotWork) {
  TcpSocket socket;
  RecordingLog log;
  EXPECT_FALSE(socket.connectPlain(nullptr, 80, log));
  EXPECT_FALSE(socket.connectPlain(" \t\r\n", 80, log));
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  Cannot connect, hostname is NULL\r\n  Cannot connect, hostname is zero length\r\n");
}

TEST(TcpConnect, UnknownHostIsLoggedWithItsName) {
  TcpSocket socket;
  RecordingLog log;
  EXPECT_FALSE(socket.connectPlain("nohost.invalid", 80, log));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Cannot get host by name.\r\n  hostname: nohost.invalid\r\n");
  EXPECT_FALSE(socket.hasSocket());
}

TEST(TcpConnect, RefusedConnectExplainsTheError) {
  const uint16_t port = closedPort();
  for (uint32_t limit : {1000u, 0u}) {  // non-blocking with a wait, and blocking
    TcpSocket socket;
    socket.setConnectTimeoutMs(limit);
    RecordingLog log;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(socket.connectPlain("127.0.0.1", port, log));
    EXPECT_LT(platform::tickCount() - start, 900u);
    EXPECT_EQ(textOf(log),
              "QuillonLog:\r\n  sockError: 10061\r\n  Connect function failed.\r\n"
              "  SocketError: WSAECONNREFUSED No connection could be made because the target machine actively "
              "refused it.\r\n")
        << limit;
    EXPECT_FALSE(socket.isConnected());
  }
}

TEST(TcpConnect, MonitoredRefusedConnectHasNoPeriodAndNoErrorText) {
  const uint16_t port = closedPort();
  TcpSocket socket;
  socket.setConnectTimeoutMs(1000);
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  EXPECT_FALSE(socket.connectTo("127.0.0.1", port, 100, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  sockError: 10061\r\n  Connect function failed\r\n");
}

TEST(TcpConnect, UnansweredConnectWaitsTheLimitTwiceAtMostAndSaysItRetries) {
  testsupport::UnansweringListener listener;
  if (!listener.ready()) GTEST_SKIP() << "this system refuses connects to a full queue";
  TcpSocket socket;
  socket.setConnectTimeoutMs(300);
  RecordingLog log;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectPlain("127.0.0.1", listener.port(), log));
  const uint32_t elapsed = platform::tickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 2 * 300u + 200u);
  const std::string text = textOf(log);
  EXPECT_EQ(occurrences(text, "Connection attempt timed out, trying again."), 1u) << text;
  EXPECT_THAT(text, HasSubstr("  socket is not ready for writing\r\n  Connection attempt timed out, trying again.\r\n"));
  EXPECT_THAT(text, HasSubstr("  Connect function failed.\r\n  SocketError: "));
}

TEST(TcpConnect, MonitoredUnansweredConnectEndsAtTheBudget) {
  testsupport::UnansweringListener listener;
  if (!listener.ready()) GTEST_SKIP() << "this system refuses connects to a full queue";
  TcpSocket socket;
  socket.setConnectTimeoutMs(300);
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectTo("127.0.0.1", listener.port(), 100, log, &monitor));
  EXPECT_LT(platform::tickCount() - start, 600u);
  EXPECT_GE(callback.heartbeats, 1);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  socket is not ready for writing\r\n"
            "  SocketError: WSAEWOULDBLOCK The socket would block.\r\n"
            "  Check to make sure the port is not blocked by a firewall.\r\n  Connect function failed\r\n");
}

TEST(TcpConnect, CallbackAbortsAMonitoredConnect) {
  testsupport::UnansweringListener listener;
  if (!listener.ready()) GTEST_SKIP() << "this system refuses connects to a full queue";
  TcpSocket socket;
  socket.setConnectTimeoutMs(3000);
  RecordingLog log;
  CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  ProgressMonitor monitor(&callback, 100);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectTo("127.0.0.1", listener.port(), 50, log, &monitor));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  socket operation aborted by application callback\r\n");
}

TEST(TcpConnect, SlowLookUpLeavesNoTimeToConnect) {
  FakeClock clock;
  LookupScript script({"peer.invalid"}, 5000);
  TcpSocket socket;
  socket.setConnectTimeoutMs(5000);
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  EXPECT_FALSE(socket.connectMonitored("peer.invalid", 80, 100, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Application timeout after DNS\r\n");
  EXPECT_FALSE(socket.hasSocket());
}

TEST(TcpConnect, MonitoredConnectThroughALookedUpName) {
  LookupScript script({"peer.invalid"});
  testsupport::LoopbackPeer peer;
  peer.start();
  TcpSocket socket;
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  EXPECT_TRUE(socket.connectMonitored(" peer.invalid", peer.port(), 100, log, &monitor)) << textOf(log);
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid", "peer.invalid"}));
}

bool throwingLookUp(const std::string&, uint32_t*) { throw std::runtime_error("resolver broke"); }

TEST(TcpConnect, ExceptionInsideAConnectBecomesAPlainFailure) {
  component::setHostLookupForTesting(&throwingLookUp);
  TcpSocket socket;
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 100);
  EXPECT_FALSE(socket.connectTo("peer.invalid", 80, 0, log, nullptr));
  EXPECT_FALSE(socket.connectTo("peer.invalid", 80, 100, log, &monitor));
  component::setHostLookupForTesting(nullptr);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

TEST(TcpConnect, ReconnectClosesTheEarlierSocket) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntilClosed(2000).nextConnection();
  peer.start();
  TcpSocket socket;
  RecordingLog log;
  ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), log));
  ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), log));
  EXPECT_TRUE(peer.waitDone(3000));
  EXPECT_TRUE(peer.clientClosed(0));
}

TEST(SocketConnectionConnect, FailedLookUpRendersTheTrail) {
  component::SocketConnection connection;
  component::EncodedString host;
  host.setAnsi("nohost.invalid");
  EXPECT_FALSE(connection.Connect(host, 80, false, 2000, nullptr));
  StringBuffer text;
  connection.lastErrorText(text);
  EXPECT_STREQ(text.getString(),
               "QuillonLog:\r\n  Connect:\r\n    Cannot get host by name.\r\n    hostname: nohost.invalid\r\n");
  StringBuffer xml;
  connection.lastErrorXml(xml);
  EXPECT_STREQ(xml.getString(),
               "<QuillonLog>\r\n<Connect>\r\n<error>Cannot get host by name.</error>\r\n"
               "<hostname>nohost.invalid</hostname>\r\n</Connect>\r\n</QuillonLog>\r\n");
  // The channel exists now: a receive fails in the socket layer.
  component::DataBuffer out;
  EXPECT_TRUE(connection.ReceiveBytes(out, nullptr));
  connection.lastErrorText(text);
  EXPECT_STREQ(text.getString(), "QuillonLog:\r\n  ReceiveBytes:\r\n    This socket is not connected\r\n");
}

TEST(SocketConnectionConnect, ConnectsAndTalksToALoopbackPeer) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntil("PING").send("PONG\r\n");
  peer.start();
  component::SocketConnection connection;
  component::EncodedString host;
  host.setAnsi(" localhost ");
  CountingCallback callback;
  ASSERT_TRUE(connection.Connect(host, peer.port(), false, 2000, &callback)) << textOf(connection.log());
  EXPECT_EQ(connection.write("PING", 1, 4, nullptr), 4u);
  component::EncodedString line;
  ASSERT_TRUE(connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "PONG\r\n");
}

TEST(SocketErrorText, CodesOutsideTheTableAreShownInHexWithAHint) {
  RecordingLog log;
  component::reportSocketError(10037, log);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  SocketError: Error 2735\r\n  Check to make sure the connection is not blocked by a "
            "firewall or anti-virus port filtering.\r\n");
}

TEST(SocketErrorText, SomeCodesCarryHints) {
  RecordingLog log;
  component::reportSocketError(10053, log);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  SocketError: WSAECONNABORTED An established connection was aborted by the software in "
            "your host machine.\r\n  This is commonly caused by anti-virus programs that may be running.\r\n"
            "  Check Mcafee's port filtering. If enabled, add your app to the exclusion list.\r\n");
  log.clearLog();
  component::reportSocketError(10054, log);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  SocketError: WSAECONNRESET An existing connection was forcibly closed by the remote "
            "host.\r\n");
}

}  // namespace
