// Waits, sends and receives over connected loopback sockets: the slice pattern
// of the waits, idle limits, peers that close or stop reading, and aborts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/net/net_test_util.h"
#include "component/net/progress_monitor.h"
#include "component/net/socket_channel.h"
#include "component/net/socket_connection.h"
#include "component/net/tcp_socket.h"
#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/signal_storm.h"

namespace {

using component::DataBuffer;
using component::ProgressMonitor;
using component::ReceiveFlags;
using component::RecordingLog;
using component::TcpSocket;
using nettest::bytesOf;
using nettest::CountingCallback;
using nettest::textOf;
using testing::ElementsAreArray;
using testing::EndsWith;
using testing::HasSubstr;
using testsupport::LoopbackPeer;

// The "totalMsWaitedSoFar" values of a log, in order.
std::vector<int> waitedSoFar(const std::string& text) {
  std::vector<int> out;
  const std::string key = "totalMsWaitedSoFar: ";
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    out.push_back(std::stoi(text.substr(at + key.size())));
  }
  return out;
}

// A peer that plays a script, and a socket or a SocketConnection connected to it.
class Transfer : public ::testing::Test {
 protected:
  // Plays `script` and connects the socket.
  template <typename Script>
  void connect(Script script) {
    script(peer);
    peer.start();
    RecordingLog connectLog;
    ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), connectLog)) << textOf(connectLog);
  }
  void stalled() {
    connect([](LoopbackPeer& p) { p.stall(3000); });
  }
  // Starts the peer as scripted and connects a SocketConnection with `heartbeatMs`.
  std::unique_ptr<component::SocketConnection> connection(uint32_t heartbeatMs = 1000) {
    peer.start();
    auto c = std::make_unique<component::SocketConnection>();
    c->setHeartbeatMs(heartbeatMs);
    component::EncodedString host = nettest::ansi("127.0.0.1");
    EXPECT_TRUE(c->Connect(host, peer.port(), false, 2000, nullptr)) << textOf(c->log());
    return c;
  }
  LoopbackPeer peer;
  TcpSocket socket;
  RecordingLog log;
  ReceiveFlags flags;
  CountingCallback callback;
};

TEST(TcpIdleLimit, ZeroAndTooLargeBothBecomeTheLargest) {
  TcpSocket socket;
  socket.setIdleLimit(0);
  EXPECT_EQ(socket.idleLimitMs(), 5000000u);
  socket.setIdleLimit(6000000);
  EXPECT_EQ(socket.idleLimitMs(), 5000000u);
}

TEST_F(Transfer, IdleLimitReachedThroughTheConnectionShowsTheSlices) {
  peer.stall(3000);
  auto c = connection(250);
  c->setReceiveIdleLimitMs(600);
  DataBuffer out;
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(c->ReceiveBytes(out, nullptr));
  EXPECT_GE(platform::tickCount() - start, 590u);
  EXPECT_EQ(out.getSize(), 0u);
  EXPECT_EQ(textOf(c->log()),
            "QuillonLog:\r\n  ReceiveBytes:\r\n"
            "    totalMsWaitedSoFar: 125\r\n    timeoutMs: 600\r\n"
            "    totalMsWaitedSoFar: 375\r\n    timeoutMs: 600\r\n"
            "    totalMsWaitedSoFar: 600\r\n    timeoutMs: 600\r\n"
            "    Timeout waiting to read socket or accept connection\r\n");
}

TEST_F(Transfer, WaitSlicesAreHalfAHeartbeatOfAtLeast50MsThenWholeHeartbeats) {
  const struct {
    uint32_t heartbeat, limit;
    std::vector<int> slices;
    bool signals;  // POSIX: interrupted waits neither fail nor change the slices
  } cases[] = {
      {20, 200, {50, 100, 150, 200}, false},
      {0, 400, {200, 400}, false},  // no heartbeat: half, then the rest
      {100, 300, {50, 150, 250, 300}, true},
  };
  stalled();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.heartbeat);
    log.clearLog();
#ifndef _WIN32
    std::unique_ptr<testsupport::SignalStorm> storm;
    if (k.signals) storm = std::make_unique<testsupport::SignalStorm>();
#endif
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(socket.waitForData(k.heartbeat, k.limit, nullptr, flags, log));
    EXPECT_GE(platform::tickCount() - start, k.limit - 5);
    EXPECT_THAT(waitedSoFar(textOf(log)), ElementsAreArray(k.slices));
    EXPECT_TRUE(flags.timedOut);
    EXPECT_FALSE(flags.aborted || flags.socketError);
#ifndef _WIN32
    if (k.signals) {
      EXPECT_GE(testsupport::SignalStorm::signals(), 3);
    }
#endif
  }
}

TEST_F(Transfer, DataEndsAWaitEarly) {
  connect([](LoopbackPeer& p) { p.pause(150).send("x").stall(3000); });
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(socket.waitForData(100, 3000, nullptr, flags, log));
  EXPECT_LT(platform::tickCount() - start, 1500u);
}

TEST_F(Transfer, CallbackAbortsAWaitBetweenSlices) {
  stalled();
  callback.abortAtHeartbeat = 2;
  ProgressMonitor monitor(&callback, 0);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.waitForData(100, 3000, &monitor, flags, log));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_TRUE(flags.aborted);
  EXPECT_FALSE(flags.timedOut);
  EXPECT_EQ(callback.heartbeats, 2);
  EXPECT_THAT(textOf(log), EndsWith("  socket operation aborted by application callback\r\n"));
}

TEST_F(Transfer, WithoutASocketEveryOperationFails) {
  EXPECT_FALSE(socket.waitForData(100, 100, nullptr, flags, log));
  EXPECT_TRUE(flags.socketError);
  EXPECT_FALSE(socket.sendAll("x", 1, 4096, 100, log, nullptr));
  char buffer[8];
  uint32_t length = sizeof buffer;
  flags = ReceiveFlags();
  EXPECT_FALSE(socket.receiveAvailable(buffer, length, 100, log, nullptr, flags));
  EXPECT_TRUE(flags.socketError);
  bool timedOut = true;
  EXPECT_FALSE(socket.receiveSome(buffer, length, timedOut, log, nullptr));
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  Invalid socket.\r\n  No socket exists for sending (2)\r\n"
            "  This socket is not connected\r\n  This socket is not connected\r\n");
}

TEST_F(Transfer, PeerThatClosedClosesThisSocketToo) {
  connect([](LoopbackPeer& p) { p.close(); });
  char buffer[16];
  uint32_t length = sizeof buffer;
  EXPECT_FALSE(socket.receiveAvailable(buffer, length, 100, log, nullptr, flags));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(flags.socketError);
  EXPECT_FALSE(socket.hasSocket());
  EXPECT_FALSE(socket.isConnected());
  EXPECT_THAT(textOf(log), EndsWith("  Failed to received data on socket.\r\n"));
}

TEST_F(Transfer, ReceiveBytesAfterThePeerClosedKeepsTheBufferAndSaysWhy) {
  peer.close();
  auto c = connection();
  DataBuffer out;
  out.append("kept", 4);
  EXPECT_TRUE(c->ReceiveBytes(out, nullptr));
  EXPECT_EQ(bytesOf(out), "kept");
  EXPECT_EQ(textOf(c->log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    Failed to received data on socket.\r\n");
}

TEST_F(Transfer, ReceiveChunkOfZeroReadsOneByte) {
  connect([](LoopbackPeer& p) { p.send("abc").stall(3000); });
  DataBuffer out;
  EXPECT_TRUE(socket.receiveChunk(out, 0, 100, log, nullptr, flags));
  EXPECT_EQ(bytesOf(out), "a");
  EXPECT_TRUE(socket.receiveChunk(out, 5000000, 100, log, nullptr, flags));
  EXPECT_EQ(bytesOf(out), "abc");
}

TEST_F(Transfer, CallbackAbortAfterACompleteReceiveFailsItAndKeepsTheBytes) {
  peer.send("data").stall(3000);
  auto c = connection(100);
  callback.abortAtHeartbeat = 1;
  DataBuffer out;
  EXPECT_FALSE(c->ReceiveBytes(out, &callback));
  EXPECT_EQ(bytesOf(out), "data");
  EXPECT_EQ(textOf(c->log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    Socket ReceiveBytes aborted by application.\r\n");
}

TEST_F(Transfer, SendOfNothingSucceeds) {
  stalled();
  EXPECT_TRUE(socket.sendAll("", 0, 4096, 100, log, nullptr));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

TEST_F(Transfer, SeveralMegabytesReachASlowReaderThroughWritabilityWaits) {
  std::string data(8 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char((i * 131 + i / 4096) & 0xFF);
  connect([&](LoopbackPeer& p) { p.reading(false).pause(300).reading(true).receiveBytes(data.size(), 5000); });
  ProgressMonitor monitor(&callback, int64_t(data.size()));
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(socket.sendAll(data.data(), data.size(), 4096, 50, log, &monitor)) << textOf(log);
  // The peer read nothing for 300 ms: the sender must have waited for room.
  EXPECT_GE(platform::tickCount() - start, 250u);
  EXPECT_GE(callback.heartbeats, 2);
  EXPECT_EQ(callback.lastPercent, 100);
  ASSERT_TRUE(peer.waitDone(5000));
  EXPECT_TRUE(peer.received() == data);
}

// A peer that never reads, and more than the socket buffers of a loopback
// connection hold. It sends urgent data first: that must not end the waits
// for room to send, on any system.
class NonReader : public Transfer {
 protected:
  void SetUp() override {
    connect([](LoopbackPeer& p) { p.sendUrgent('!').reading(false).stall(4000); });
  }
  bool sendFiller(uint32_t heartbeatMs, ProgressMonitor* monitor) {
    static const std::string filler(64 * 1024 * 1024, 'x');
    return socket.sendAll(filler.data(), filler.size(), 65536, heartbeatMs, log, monitor);
  }
};

TEST_F(NonReader, SendEndsInTheIdleLimit) {
  // With a monitor first: its callback bounds a send whose waits would never
  // end, which the unmonitored one is not tried with.
  callback.abortAtHeartbeat = 40;
  ProgressMonitor monitor(&callback, 0);
  for (ProgressMonitor* m : {&monitor, static_cast<ProgressMonitor*>(nullptr)}) {
    log.clearLog();
    socket.setIdleLimit(300);
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(sendFiller(100, m));
    ASSERT_LT(platform::tickCount() - start, 3000u);
    ASSERT_EQ(textOf(log), "QuillonLog:\r\n  socket is not ready for writing\r\n  Socket send idle timeout\r\n");
  }
}

TEST_F(NonReader, CallbackAbortsAWritabilityWait) {
  // First fill the socket buffers, so that the next send waits at once.
  socket.setIdleLimit(200);
  ASSERT_FALSE(sendFiller(50, nullptr));
  log.clearLog();
  callback.abortAtHeartbeat = 2;  // the first comes at the start of the piece
  ProgressMonitor monitor(&callback, 0);
  socket.setIdleLimit(3000);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(sendFiller(50, &monitor));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  socket operation aborted by application callback\r\n"
            "  Socket send aborted by application\r\n");
}

TEST_F(Transfer, CallbackAbortDuringASendStopsIt) {
  const struct {
    int heartbeatAbort, percentAbort;
    const char* message;
    int64_t counted;
  } cases[] = {
      // The first heartbeat is due at the start of the first piece.
      {1, 0, "Socket SendBytes2 aborted by application. (1)", 0},
      // The first percent comes when the first piece is counted.
      {0, 1, "Socket send aborted by application", 4},
  };
  stalled();
  for (const auto& k : cases) {
    CountingCallback answers;
    answers.abortAtHeartbeat = k.heartbeatAbort;
    answers.abortAtPercentCall = k.percentAbort;
    ProgressMonitor monitor(&answers, 10);
    log.clearLog();
    EXPECT_FALSE(socket.sendAll("0123456789", 10, 4, 100, log, &monitor));
    EXPECT_EQ(textOf(log), std::string("QuillonLog:\r\n  ") + k.message + "\r\n");
    EXPECT_EQ(monitor.done(), k.counted);
  }
}

// Moves the monitors' clock a whole second on every percent, so the abort
// check after a complete send finds a heartbeat due.
class SecondPerPercent : public CountingCallback {
 public:
  void percentDone(int percent, bool& abort) override {
    CountingCallback::percentDone(percent, abort);
    nettest::FakeClock::advance(1000);
  }
};

TEST_F(Transfer, CallbackAbortAfterACompleteSend) {
  nettest::FakeClock clock;
  peer.receiveBytes(10).stall(2000);
  peer.start();
  component::SocketChannel channel;
  ASSERT_TRUE(channel.connect("127.0.0.1", peer.port(), false, 100, 2000, log, nullptr));
  SecondPerPercent answers;
  answers.abortAtHeartbeat = 2;
  ProgressMonitor monitor(&answers, 10);
  EXPECT_FALSE(channel.send("0123456789", 10, 4096, 100, 1000, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Socket SendBytes2 aborted by application.\r\n");
  EXPECT_EQ(answers.heartbeats, 2);
}

TEST_F(Transfer, ResetByThePeerExplainsTheError) {
  // The peer resets only once the connection is up on both sides.
  connect([](LoopbackPeer& p) { p.receiveBytes(1).reset(); });
  ASSERT_TRUE(socket.sendAll("x", 1, 4096, 100, log, nullptr));
  ASSERT_TRUE(peer.waitDone(2000));
  platform::sleepMs(50);
  const std::string data(1024 * 1024, 'x');
  EXPECT_FALSE(socket.sendAll(data.data(), data.size(), 4096, 100, log, nullptr));
  const std::string text = textOf(log);
  EXPECT_THAT(text, HasSubstr("  SocketError: WSAECONNRESET "));
  EXPECT_THAT(text, EndsWith("  Error sending on socket\r\n  send_size: 4096\r\n"));
  EXPECT_TRUE(socket.hasSocket());  // a send never closes the socket
}

TEST_F(Transfer, SecureWaitRecordsTheTimeItWaited) {
  stalled();
  bool closed = true;
  EXPECT_FALSE(socket.waitReadable(30, nullptr, closed, log));
  EXPECT_FALSE(closed);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  numSec: 0\r\n  microSec: 30000\r\n");
  log.clearLog();
  EXPECT_FALSE(socket.waitReadable(0, nullptr, closed, log));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  numSec: 0\r\n  microSec: 20000\r\n");
}

TEST_F(Transfer, PolledAbortStopsASecureWait) {
  nettest::FakeClock clock;
  stalled();
  callback.abortAtAbortCheck = 1;
  ProgressMonitor monitor(&callback, 0);
  nettest::FakeClock::advance(301);
  uint32_t length = 8;
  bool timedOut = false;
  char buffer[8];
  EXPECT_FALSE(socket.receiveSome(buffer, length, timedOut, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Wait-for-data aborted by app\r\n  WaitForData timed out.\r\n");
}

TEST_F(Transfer, ReceiveUntilClosedGathersEveryPiece) {
  connect([](LoopbackPeer& p) { p.sendPieces("hello, world", 5, 20).close(); });
  socket.setIdleLimit(2000);
  DataBuffer out;
  ProgressMonitor monitor(&callback, 0);
  EXPECT_TRUE(socket.receiveUntilClosed(out, log, &monitor));
  EXPECT_EQ(bytesOf(out), "hello, world");
  EXPECT_THAT(textOf(log), EndsWith("  The peer has closed the socket (TCP) connection\r\n"));
  EXPECT_FALSE(socket.hasSocket());
}

}  // namespace
