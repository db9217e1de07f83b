// Waits, sends and receives over connected loopback sockets: the slice pattern
// of the waits, idle limits, peers that close or stop reading, and aborts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
using nettest::CountingCallback;
using nettest::textOf;
using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;

std::string bytesOf(DataBuffer& b) { return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize()); }

// The "totalMsWaitedSoFar" values of a log, in order.
std::vector<int> waitedSoFar(const std::string& text) {
  std::vector<int> out;
  const std::string key = "totalMsWaitedSoFar: ";
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    out.push_back(std::stoi(text.substr(at + key.size())));
  }
  return out;
}

// More than the socket buffers of a loopback connection hold.
std::string filler(size_t n) { return std::string(n, 'x'); }

std::string bigPattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + i / 4096) & 0xFF);
  return s;
}

void connect(TcpSocket& socket, const testsupport::LoopbackPeer& peer) {
  RecordingLog log;
  ASSERT_TRUE(socket.connectPlain("127.0.0.1", peer.port(), log)) << textOf(log);
}

void connect(component::SocketConnection& connection, const testsupport::LoopbackPeer& peer) {
  component::EncodedString host;
  host.setAnsi("127.0.0.1");
  ASSERT_TRUE(connection.Connect(host, peer.port(), false, 2000, nullptr)) << textOf(connection.log());
}

// A socket connected to a loopback peer that plays the script given.
struct Connected {
  template <typename Script>
  explicit Connected(Script script) {
    script(peer);
    peer.start();
    connect(socket, peer);
  }
  testsupport::LoopbackPeer peer;
  TcpSocket socket;
};

TEST(TcpIdleLimit, ZeroAndTooLargeBothBecomeTheLargest) {
  TcpSocket socket;
  socket.setIdleLimit(0);
  EXPECT_EQ(socket.idleLimitMs(), 5000000u);
  socket.setIdleLimit(6000000);
  EXPECT_EQ(socket.idleLimitMs(), 5000000u);
  socket.setIdleLimit(1000);
  EXPECT_EQ(socket.idleLimitMs(), 1000u);
}

TEST(TcpWaitForData, IdleLimitReachedThroughTheConnectionShowsTheSlices) {
  testsupport::LoopbackPeer peer;
  peer.stall(3000);
  peer.start();
  component::SocketConnection connection;
  connection.setHeartbeatMs(250);
  connection.setReceiveIdleLimitMs(600);
  connect(connection, peer);
  DataBuffer out;
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(connection.ReceiveBytes(out, nullptr));
  EXPECT_GE(platform::tickCount() - start, 590u);
  EXPECT_EQ(out.getSize(), 0u);
  EXPECT_EQ(textOf(connection.log()),
            "QuillonLog:\r\n  ReceiveBytes:\r\n"
            "    totalMsWaitedSoFar: 125\r\n    timeoutMs: 600\r\n"
            "    totalMsWaitedSoFar: 375\r\n    timeoutMs: 600\r\n"
            "    totalMsWaitedSoFar: 600\r\n    timeoutMs: 600\r\n"
            "    Timeout waiting to read socket or accept connection\r\n");
}

TEST(TcpWaitForData, ShortHeartbeatUsesFiftyMillisecondSlices) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(3000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  EXPECT_FALSE(socket.waitForData(20, 200, nullptr, flags, log));
  EXPECT_THAT(waitedSoFar(textOf(log)), ElementsAre(50, 100, 150, 200));
  EXPECT_TRUE(flags.timedOut);
  EXPECT_FALSE(flags.aborted || flags.socketError);
}

TEST(TcpWaitForData, ZeroHeartbeatWaitsHalfThenTheRest) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(3000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.waitForData(0, 400, nullptr, flags, log));
  EXPECT_GE(platform::tickCount() - start, 390u);
  EXPECT_THAT(waitedSoFar(textOf(log)), ElementsAre(200, 400));
}

#ifndef _WIN32
TEST(TcpWaitForData, SignalsDoNotChangeTheSlices) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(3000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  testsupport::SignalStorm storm;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.waitForData(100, 300, nullptr, flags, log));
  EXPECT_GE(platform::tickCount() - start, 295u);
  EXPECT_TRUE(flags.timedOut);
  EXPECT_THAT(waitedSoFar(textOf(log)), ElementsAre(50, 150, 250, 300));
  EXPECT_GE(testsupport::SignalStorm::signals(), 3);
}
#endif

TEST(TcpWaitForData, DataEndsTheWaitEarly) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.pause(150).send("x").stall(3000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(socket.waitForData(100, 3000, nullptr, flags, log));
  EXPECT_LT(platform::tickCount() - start, 1500u);
}

TEST(TcpWaitForData, CallbackAbortsBetweenSlices) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(3000); });
  TcpSocket& socket = c.socket;
  CountingCallback callback;
  callback.abortAtHeartbeat = 2;
  ProgressMonitor monitor(&callback, 0);
  RecordingLog log;
  ReceiveFlags flags;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.waitForData(100, 3000, &monitor, flags, log));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_TRUE(flags.aborted);
  EXPECT_FALSE(flags.timedOut);
  EXPECT_EQ(callback.heartbeats, 2);
  EXPECT_THAT(textOf(log), EndsWith("  socket operation aborted by application callback\r\n"));
}

TEST(TcpWaitForData, NoSocketIsASocketError) {
  TcpSocket socket;
  RecordingLog log;
  ReceiveFlags flags;
  EXPECT_FALSE(socket.waitForData(100, 100, nullptr, flags, log));
  EXPECT_TRUE(flags.socketError);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Invalid socket.\r\n");
}

TEST(TcpReceive, PeerClosedClosesThisSocketToo) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.close(); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  char buffer[16];
  uint32_t length = sizeof buffer;
  EXPECT_FALSE(socket.receiveAvailable(buffer, length, 100, log, nullptr, flags));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(flags.socketError);
  EXPECT_FALSE(socket.hasSocket());
  EXPECT_FALSE(socket.isConnected());
  EXPECT_THAT(textOf(log), EndsWith("  Failed to received data on socket.\r\n"));

  log.clearLog();
  length = sizeof buffer;
  EXPECT_FALSE(socket.receiveAvailable(buffer, length, 100, log, nullptr, flags));
  EXPECT_TRUE(flags.socketError);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  This socket is not connected\r\n");
}

TEST(TcpReceive, ReceiveBytesAfterThePeerClosedKeepsTheBufferAndSaysWhy) {
  testsupport::LoopbackPeer peer;
  peer.close();
  peer.start();
  component::SocketConnection connection;
  connect(connection, peer);
  DataBuffer out;
  out.append("kept", 4);
  EXPECT_TRUE(connection.ReceiveBytes(out, nullptr));
  EXPECT_EQ(bytesOf(out), "kept");
  EXPECT_EQ(textOf(connection.log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    Failed to received data on socket.\r\n");
}

TEST(TcpReceive, HeaderSplitAcrossSegmentsLeavesTheBodyPending) {
  testsupport::LoopbackPeer peer;
  peer.send("HTTP/1.1 200 OK\r\n\r").pause(80).send(std::string("\nbody\x00\xff", 7)).stall(2000);
  peer.start();
  component::SocketConnection connection;
  connect(connection, peer);
  component::EncodedString match;
  match.setAnsi("\r\n\r\n");
  component::EncodedString header;
  ASSERT_TRUE(connection.ReceiveUntilMatch(match, header, nullptr)) << textOf(connection.log());
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\n\r\n");
  DataBuffer body;
  ASSERT_TRUE(connection.ReceiveBytesN(6, body, nullptr, false));
  EXPECT_EQ(bytesOf(body), std::string("body\x00\xff", 6));
}

TEST(TcpReceive, ChunkOfZeroReadsOneByte) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.send("abc").stall(3000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ReceiveFlags flags;
  DataBuffer out;
  EXPECT_TRUE(socket.receiveChunk(out, 0, 100, log, nullptr, flags));
  EXPECT_EQ(bytesOf(out), "a");
  EXPECT_TRUE(socket.receiveChunk(out, 5000000, 100, log, nullptr, flags));
  EXPECT_EQ(bytesOf(out), "abc");
}

TEST(TcpReceive, CallbackAbortAfterACompleteReceiveKeepsTheBytes) {
  testsupport::LoopbackPeer peer;
  peer.send("data").stall(3000);
  peer.start();
  component::SocketConnection connection;
  connection.setHeartbeatMs(100);
  connect(connection, peer);
  CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  DataBuffer out;
  EXPECT_TRUE(connection.ReceiveBytes(out, &callback));
  EXPECT_EQ(bytesOf(out), "data");
  EXPECT_EQ(textOf(connection.log()),
            "QuillonLog:\r\n  ReceiveBytes:\r\n    Socket ReceiveBytes aborted by application.\r\n");
}

TEST(TcpSend, NothingToSendSucceedsAndNoSocketFails) {
  testsupport::LoopbackPeer peer;
  peer.stall(3000);
  peer.start();
  TcpSocket socket;
  RecordingLog log;
  EXPECT_FALSE(socket.sendAll("x", 1, 4096, 100, log, nullptr));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  No socket exists for sending (2)\r\n");
  connect(socket, peer);
  log.clearLog();
  EXPECT_TRUE(socket.sendAll("", 0, 4096, 100, log, nullptr));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n");
}

TEST(TcpSend, SeveralMegabytesReachASlowReaderThroughWritabilityWaits) {
  const std::string data = bigPattern(8 * 1024 * 1024);
  Connected c([&](testsupport::LoopbackPeer& peer) {
    peer.reading(false).pause(300).reading(true).receiveBytes(data.size(), 5000);
  });
  TcpSocket& socket = c.socket;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, int64_t(data.size()));
  RecordingLog log;
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(socket.sendAll(data.data(), data.size(), 4096, 50, log, &monitor)) << textOf(log);
  // The peer read nothing for 300 ms: the sender must have waited for room.
  EXPECT_GE(platform::tickCount() - start, 250u);
  EXPECT_GE(callback.heartbeats, 2);
  EXPECT_EQ(callback.lastPercent, 100);
  ASSERT_TRUE(c.peer.waitDone(5000));
  EXPECT_TRUE(c.peer.received() == data);
}

TEST(TcpSend, ReaderThatNeverReadsEndsInTheIdleLimit) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.reading(false).stall(4000); });
  TcpSocket& socket = c.socket;
  socket.setIdleLimit(300);
  const std::string data = filler(64 * 1024 * 1024);
  RecordingLog log;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.sendAll(data.data(), data.size(), 65536, 100, log, nullptr));
  EXPECT_LT(platform::tickCount() - start, 3000u);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  socket is not ready for writing\r\n  Socket send idle timeout\r\n");
}

TEST(TcpSend, CallbackAbortsAWritabilityWait) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.reading(false).stall(4000); });
  TcpSocket& socket = c.socket;
  const std::string data = filler(64 * 1024 * 1024);
  RecordingLog log;
  // First fill the socket buffers, so that the next send waits at once.
  socket.setIdleLimit(200);
  ASSERT_FALSE(socket.sendAll(data.data(), data.size(), 65536, 50, log, nullptr));
  log.clearLog();
  CountingCallback callback;
  callback.abortAtHeartbeat = 2;  // the first comes at the start of the piece
  ProgressMonitor monitor(&callback, 0);
  socket.setIdleLimit(3000);
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(socket.sendAll(data.data(), data.size(), 65536, 50, log, &monitor));
  EXPECT_LT(platform::tickCount() - start, 1000u);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  socket operation aborted by application callback\r\n"
            "  Socket send aborted by application\r\n");
}

TEST(TcpSend, CallbackAbortDuringASendStopsIt) {
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
  for (const auto& k : cases) {
    Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(2000); });
    CountingCallback callback;
    callback.abortAtHeartbeat = k.heartbeatAbort;
    callback.abortAtPercentCall = k.percentAbort;
    ProgressMonitor monitor(&callback, 10);
    RecordingLog log;
    EXPECT_FALSE(c.socket.sendAll("0123456789", 10, 4, 100, log, &monitor));
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

TEST(TcpSend, CallbackAbortAfterACompleteSend) {
  nettest::FakeClock clock;
  testsupport::LoopbackPeer peer;
  peer.receiveBytes(10).stall(2000);
  peer.start();
  component::SocketChannel channel;
  RecordingLog log;
  ASSERT_TRUE(channel.connect("127.0.0.1", peer.port(), false, 100, 2000, log, nullptr));
  SecondPerPercent callback;
  callback.abortAtHeartbeat = 2;
  ProgressMonitor monitor(&callback, 10);
  EXPECT_FALSE(channel.send("0123456789", 10, 4096, 100, 1000, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Socket SendBytes2 aborted by application.\r\n");
  EXPECT_EQ(callback.heartbeats, 2);
}

TEST(TcpSend, ResetByThePeerExplainsTheError) {
  // The peer resets only once the connection is up on both sides.
  Connected c([](testsupport::LoopbackPeer& peer) { peer.receiveBytes(1).reset(); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  ASSERT_TRUE(socket.sendAll("x", 1, 4096, 100, log, nullptr));
  ASSERT_TRUE(c.peer.waitDone(2000));
  platform::sleepMs(50);
  const std::string data = filler(1024 * 1024);
  EXPECT_FALSE(socket.sendAll(data.data(), data.size(), 4096, 100, log, nullptr));
  const std::string text = textOf(log);
  EXPECT_THAT(text, HasSubstr("  SocketError: WSAECONNRESET "));
  EXPECT_THAT(text, EndsWith("  Error sending on socket\r\n  send_size: 4096\r\n"));
  EXPECT_TRUE(socket.hasSocket());  // a send never closes the socket
}

TEST(TcpSecureChannelWaits, WaitReadableRecordsTheTimeItWaited) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(2000); });
  TcpSocket& socket = c.socket;
  RecordingLog log;
  bool closed = true;
  EXPECT_FALSE(socket.waitReadable(30, nullptr, closed, log));
  EXPECT_FALSE(closed);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  numSec: 0\r\n  microSec: 30000\r\n");
  log.clearLog();
  EXPECT_FALSE(socket.waitReadable(0, nullptr, closed, log));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  numSec: 0\r\n  microSec: 20000\r\n");
}

TEST(TcpSecureChannelWaits, PolledAbortStopsTheWait) {
  nettest::FakeClock clock;
  Connected c([](testsupport::LoopbackPeer& peer) { peer.stall(2000); });
  TcpSocket& socket = c.socket;
  CountingCallback callback;
  callback.abortAtAbortCheck = 1;
  ProgressMonitor monitor(&callback, 0);
  nettest::FakeClock::advance(301);
  RecordingLog log;
  uint32_t length = 8;
  bool timedOut = false;
  char buffer[8];
  EXPECT_FALSE(socket.receiveSome(buffer, length, timedOut, log, &monitor));
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  Wait-for-data aborted by app\r\n  WaitForData timed out.\r\n");
}

TEST(TcpSecureChannelWaits, ReceiveUntilClosedGathersEveryPiece) {
  Connected c([](testsupport::LoopbackPeer& peer) { peer.sendPieces("hello, world", 5, 20).close(); });
  TcpSocket& socket = c.socket;
  socket.setIdleLimit(2000);
  RecordingLog log;
  DataBuffer out;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 0);
  EXPECT_TRUE(socket.receiveUntilClosed(out, log, &monitor));
  EXPECT_EQ(bytesOf(out), "hello, world");
  EXPECT_THAT(textOf(log), EndsWith("  The peer has closed the socket (TCP) connection\r\n"));
  EXPECT_FALSE(socket.hasSocket());

  log.clearLog();
  uint32_t length = 8;
  bool timedOut = true;
  EXPECT_FALSE(socket.receiveSome(nullptr, length, timedOut, log, nullptr));
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(textOf(log), "QuillonLog:\r\n  This socket is not connected\r\n");
}

}  // namespace
