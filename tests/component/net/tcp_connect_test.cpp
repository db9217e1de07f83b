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
using nettest::textOf;
using testing::HasSubstr;

using Names = std::vector<std::string>;

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
  static const Names& asked() { return asked_; }

 private:
  static bool lookUp(const std::string& host, uint32_t* address) {
    asked_.push_back(host);
    FakeClock::advance(msPerLookup_);
    if (!known_.count(host)) return false;
    return platform::parseDottedIPv4("127.0.0.1", address);
  }
  static inline std::set<std::string> known_;
  static inline uint32_t msPerLookup_ = 0;
  static inline Names asked_;
};

TEST(ResolveHost, CleanedCopyAndWwwRetries) {
  const struct {
    const char* host;
    const char* known;
    Names asked;
  } cases[] = {
      {"peer.invalid", "peer.invalid", {"peer.invalid"}},
      {" peer.invalid/", "peer.invalid", {" peer.invalid/", "peer.invalid"}},
      {"\"Peer.Invalid/\"", "peer.invalid", {"\"Peer.Invalid/\"", "peer.invalid"}},
      {"<peer.\tinvalid:>", "peer.invalid", {"<peer.\tinvalid:>", "peer.invalid"}},
      // Same length after cleaning: no look-up of the lower-cased copy.
      {"Peer.Invalid", "www.peer.invalid", {"Peer.Invalid", "www.peer.invalid"}},
      {"\xc9T\xc9.invalid", "www.\xe9t\xe9.invalid", {"\xc9T\xc9.invalid", "www.\xe9t\xe9.invalid"}},
      {"a.peer.invalid", nullptr, {"a.peer.invalid"}},  // two dots: no "www."
      {" :// ", nullptr, {" :// "}},                    // nothing left after cleaning
  };
  for (const auto& c : cases) {
    LookupScript script(c.known ? std::set<std::string>{c.known} : std::set<std::string>{});
    uint32_t address = 0;
    EXPECT_EQ(component::resolveHost(c.host, &address), c.known != nullptr) << c.host;
    EXPECT_EQ(LookupScript::asked(), c.asked) << c.host;
    if (c.known) {
      EXPECT_EQ(platform::formatIPv4(address), "127.0.0.1");
    }
  }
}

class ResolveHostTimed : public ::testing::Test {
 protected:
  bool lookUp(const char* host, uint32_t limitMs) {
    uint32_t address = 0;
    return component::resolveHostTimed(host, limitMs, log, dotted, &address);
  }
  FakeClock clock;
  RecordingLog log;
  StringBuffer dotted{"stale"};
};

TEST_F(ResolveHostTimed, FillsTheDottedAddress) {
  LookupScript script({"peer.invalid"});
  EXPECT_TRUE(lookUp("peer.invalid", 1000));
  EXPECT_STREQ(dotted.getString(), "127.0.0.1");
}

TEST_F(ResolveHostTimed, BudgetShrinksWithEachLookUp) {
  LookupScript used({}, 600);
  EXPECT_FALSE(lookUp(" peer.invalid", 500));
  EXPECT_EQ(LookupScript::asked().size(), 1u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  DNS timed out.\r\n");
  EXPECT_STREQ(dotted.getString(), "");

  log.clearLog();
  LookupScript within({}, 400);  // 400 of 1000, then 400 of the 600 left: "www." still runs
  EXPECT_FALSE(lookUp(" peer.invalid", 1000));
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid", "peer.invalid", "www.peer.invalid"}));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");

  LookupScript beyond({}, 600);
  EXPECT_FALSE(lookUp(" peer.invalid", 1000));
  EXPECT_EQ(LookupScript::asked(), (Names{" peer.invalid", "peer.invalid"}));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  DNS timed out.\r\n");

  log.clearLog();
  LookupScript unlimited({}, 100000);  // a limit of 0 never times out
  EXPECT_FALSE(lookUp(" peer.invalid", 0));
  EXPECT_EQ(LookupScript::asked().size(), 3u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

class TcpConnect : public ::testing::Test {
 protected:
  TcpSocket socket;
  RecordingLog log;
  CountingCallback callback;
  ProgressMonitor monitor{&callback, 100};
};

TEST_F(TcpConnect, LocalhostInAnyCaseWithBlanksAndDottedNumbersAreNeverLookedUp) {
  LookupScript script;
  testsupport::LoopbackPeer peer;
  peer.nextConnection().nextConnection().nextConnection().nextConnection();
  peer.start();
  for (const char* host : {"localhost", "  LocalHost\t", "LOCALHOST \r\n", "127.0.0.1"}) {
    TcpSocket plain;
    EXPECT_TRUE(plain.connectPlain(host, peer.port(), log)) << host << textOf(log);
    EXPECT_TRUE(plain.isConnected());
  }
  EXPECT_TRUE(socket.connectTo("127.0.0.1", peer.port(), 100, log, &monitor));
  EXPECT_TRUE(LookupScript::asked().empty());
}

TEST_F(TcpConnect, NamesFoundAfterCleaningConnectPlainAndMonitored) {
  LookupScript script({"peer.invalid"});
  testsupport::LoopbackPeer peer;
  peer.nextConnection();
  peer.start();
  TcpSocket plain;
  EXPECT_TRUE(plain.connectPlain("peer.invalid/", peer.port(), log)) << textOf(log);
  EXPECT_TRUE(socket.connectMonitored(" peer.invalid", peer.port(), 100, log, &monitor)) << textOf(log);
  EXPECT_EQ(LookupScript::asked(), (Names{"peer.invalid/", "peer.invalid", " peer.invalid", "peer.invalid"}));
}

TEST_F(TcpConnect, HostArgumentsThatCannotWork) {
  EXPECT_FALSE(socket.connectPlain(nullptr, 80, log));
  EXPECT_FALSE(socket.connectPlain(" \t\r\n", 80, log));
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  Cannot connect, hostname is NULL\r\n  Cannot connect, hostname is zero length\r\n");
  log.clearLog();
  EXPECT_FALSE(socket.connectPlain("nohost.invalid", 80, log));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Cannot get host by name.\r\n  hostname: nohost.invalid\r\n");
  EXPECT_FALSE(socket.hasSocket());
}

TEST_F(TcpConnect, RefusedConnectExplainsTheError) {
  const uint16_t port = testsupport::closedLoopbackPort();
  for (uint32_t limit : {1000u, 0u}) {  // non-blocking with a wait, and blocking
    TcpSocket plain;
    plain.setConnectTimeoutMs(limit);
    log.clearLog();
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(plain.connectPlain("127.0.0.1", port, log));
    EXPECT_LT(platform::tickCount() - start, 900u);
    EXPECT_EQ(textOf(log),
              "QuillonLog:\r\n  sockError: 10061\r\n  Connect function failed.\r\n"
              "  SocketError: WSAECONNREFUSED No connection could be made because the target machine actively "
              "refused it.\r\n")
        << limit;
    EXPECT_FALSE(plain.isConnected());
  }
  // The monitored connect words it without the period and the error text.
  socket.setConnectTimeoutMs(1000);
  log.clearLog();
  EXPECT_FALSE(socket.connectTo("127.0.0.1", port, 100, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  sockError: 10061\r\n  Connect function failed\r\n");
}

bool throwingLookUp(const std::string&, uint32_t*) { throw std::runtime_error("resolver broke"); }

TEST_F(TcpConnect, ExceptionInsideAConnectBecomesAPlainFailure) {
  component::setHostLookupForTesting(&throwingLookUp);
  EXPECT_FALSE(socket.connectTo("peer.invalid", 80, 0, log, nullptr));
  EXPECT_FALSE(socket.connectTo("peer.invalid", 80, 100, log, &monitor));
  component::setHostLookupForTesting(nullptr);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

TEST_F(TcpConnect, ReconnectClosesTheEarlierSocket) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntilClosed(2000).nextConnection();
  peer.start();
  ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), log));
  ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), log));
  EXPECT_TRUE(peer.waitDone(3000));
  EXPECT_TRUE(peer.clientClosed(0));
}

// Connects that get no answer at all, to a listener with a full queue.
class UnansweredConnect : public TcpConnect {
 protected:
  void SetUp() override {
    if (!listener.ready()) GTEST_SKIP() << "this system refuses connects to a full queue";
  }
  testsupport::UnansweringListener listener;
};

TEST_F(UnansweredConnect, PlainWaitsTheLimitTwiceAtMostAndSaysItRetries) {
  socket.setConnectTimeoutMs(300);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectPlain("127.0.0.1", listener.port(), log));
  const uint32_t elapsed = platform::tickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 2 * 300u + 200u);
  const std::string text = textOf(log);
  EXPECT_EQ(nettest::occurrences(text, "Connection attempt timed out, trying again."), 1u) << text;
  EXPECT_THAT(text, HasSubstr("  socket is not ready for writing\r\n  Connection attempt timed out, trying again.\r\n"));
  EXPECT_THAT(text, HasSubstr("  Connect function failed.\r\n  SocketError: "));
}

TEST_F(UnansweredConnect, MonitoredEndsAtTheBudget) {
  socket.setConnectTimeoutMs(300);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectTo("127.0.0.1", listener.port(), 100, log, &monitor));
  EXPECT_LT(platform::tickCount() - start, 600u);
  EXPECT_GE(callback.heartbeats, 1);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  socket is not ready for writing\r\n"
            "  SocketError: WSAEWOULDBLOCK The socket would block.\r\n"
            "  Check to make sure the port is not blocked by a firewall.\r\n  Connect function failed\r\n");
}

TEST_F(UnansweredConnect, CallbackAbortsAMonitoredConnect) {
  socket.setConnectTimeoutMs(3000);
  callback.abortAtHeartbeat = 1;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.connectTo("127.0.0.1", listener.port(), 50, log, &monitor));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  socket operation aborted by application callback\r\n");
}

TEST(TcpConnectTimed, SlowLookUpLeavesNoTimeToConnect) {
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

TEST(SocketConnectionConnect, FailedLookUpRendersTheTrail) {
  component::SocketConnection connection;
  component::EncodedString host = nettest::ansi("nohost.invalid");
  EXPECT_FALSE(connection.Connect(host, 80, false, 2000, nullptr));
  EXPECT_EQ(textOf(connection.log()),
            "QuillonLog:\r\n  Connect:\r\n    Cannot get host by name.\r\n    hostname: nohost.invalid\r\n");
  StringBuffer xml;
  connection.lastErrorXml(xml);
  EXPECT_STREQ(xml.getString(),
               "<QuillonLog>\r\n<Connect>\r\n<error>Cannot get host by name.</error>\r\n"
               "<hostname>nohost.invalid</hostname>\r\n</Connect>\r\n</QuillonLog>\r\n");
  // The channel exists now: a receive fails in the socket layer.
  component::DataBuffer out;
  EXPECT_TRUE(connection.ReceiveBytes(out, nullptr));
  EXPECT_EQ(textOf(connection.log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    This socket is not connected\r\n");
}

TEST(SocketConnectionConnect, ConnectsAndTalksToALoopbackPeer) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntil("PING").send("PONG\r\n");
  peer.start();
  component::SocketConnection connection;
  component::EncodedString host = nettest::ansi(" localhost ");
  CountingCallback callback;
  ASSERT_TRUE(connection.Connect(host, peer.port(), false, 2000, &callback)) << textOf(connection.log());
  EXPECT_EQ(connection.write("PING", 1, 4, nullptr), 4u);
  component::EncodedString line;
  ASSERT_TRUE(connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "PONG\r\n");
}

TEST(SocketErrorText, TextsAndHints) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      // Codes outside the table are shown in hex, with a hint.
      {10037, "SocketError: Error 2735\r\n  Check to make sure the connection is not blocked by a firewall or "
              "anti-virus port filtering.\r\n"},
      {10053, "SocketError: WSAECONNABORTED An established connection was aborted by the software in your host "
              "machine.\r\n  This is commonly caused by anti-virus programs that may be running.\r\n"
              "  Check Mcafee's port filtering. If enabled, add your app to the exclusion list.\r\n"},
      {10054, "SocketError: WSAECONNRESET An existing connection was forcibly closed by the remote host.\r\n"},
  };
  for (const auto& c : cases) {
    RecordingLog log;
    component::reportSocketError(c.code, log);
    EXPECT_EQ(textOf(log), std::string("QuillonLog:\r\n  ") + c.text) << c.code;
  }
}

}  // namespace
