// Waits, sends and receives over connected loopback sockets: the slice pattern
// of the waits, a peer that stops reading, and a receive stopped after its
// bytes came. The rest of receiving and sending is tested through the upload
// (reply_reader_test.cpp, http_upload_test.cpp).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/net/net_test_util.h"
#include "component/net/socket_connection.h"
#include "component/net/tcp_socket.h"
#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/signal_storm.h"

namespace {

using component::ProgressMonitor;
using nettest::CountingCallback;
using nettest::textOf;

// A socket connected to a peer that plays `script`.
class Transfer : public ::testing::Test {
 protected:
  void connect(const std::function<void(testsupport::LoopbackPeer&)>& script) {
    script(peer);
    peer.start();
    ASSERT_TRUE(socket.connectTo("127.0.0.1", peer.port(), 0, log, nullptr)) << textOf(log);
  }
  testsupport::LoopbackPeer peer;
  component::TcpSocket socket{platform::Env::standard()};
  component::RecordingLog log;
};

TEST_F(Transfer, WaitSlicesAreHalfAHeartbeatOfAtLeast50MsThenWholeHeartbeats) {
  const struct {
    uint32_t heartbeat, limit;
    std::vector<int> slices;  // the "totalMsWaitedSoFar" entries
    bool signals;             // POSIX: interrupted waits neither fail nor change the slices
    int abortAtHeartbeat;
  } cases[] = {
      {20, 200, {50, 100, 150, 200}, false, 0},
      {0, 400, {200, 400}, false, 0},  // no heartbeat: half, then the rest
      {100, 300, {50, 150, 250, 300}, true, 0},
      {100, 3000, {50, 150}, false, 2},  // the callback stops it after the second slice
  };
  connect([](testsupport::LoopbackPeer& p) { p.stall(5000); });
  for (const auto& k : cases) {
    SCOPED_TRACE(k.heartbeat);
    log.clearLog();
#ifndef _WIN32
    std::unique_ptr<testsupport::SignalStorm> storm;
    if (k.signals) storm = std::make_unique<testsupport::SignalStorm>();
#endif
    CountingCallback answers;
    answers.abortAtHeartbeat = k.abortAtHeartbeat;
    ProgressMonitor monitor(&answers, 0, platform::Env::standard());
    component::ReceiveFlags flags;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(socket.waitForData(k.heartbeat, k.limit, k.abortAtHeartbeat ? &monitor : nullptr, flags, log));
    const uint32_t waited = platform::tickCount() - start;
    EXPECT_GE(waited, uint32_t(k.slices.back()) - 5);
    EXPECT_LT(waited, uint32_t(k.slices.back()) + 1000);
    const std::string text = textOf(log), key = "totalMsWaitedSoFar: ";
    std::vector<int> slices;
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
      slices.push_back(std::stoi(text.substr(at + key.size())));
    }
    EXPECT_EQ(slices, k.slices);
    EXPECT_EQ(flags.timedOut, !k.abortAtHeartbeat);
    EXPECT_EQ(flags.aborted, k.abortAtHeartbeat != 0);
#ifndef _WIN32
    if (k.signals) {
      EXPECT_GE(testsupport::SignalStorm::signals(), 3);
    }
#endif
  }
}

// A peer that never reads, and more than the socket buffers of a loopback
// connection hold. It sends urgent data first: that must not end the waits
// for room to send, on any system.
TEST_F(Transfer, SendToANonReaderEndsInTheIdleLimitOrWhenTheCallbackStopsIt) {
  connect([](testsupport::LoopbackPeer& p) { p.sendUrgent('!').reading(false).stall(4000); });
  static const std::string filler(64 * 1024 * 1024, 'x');
  // The first send's callback only bounds a send whose waits would never end.
  const struct {
    uint32_t idleLimitMs;
    int abortAtHeartbeat;  // the first comes at the start of the piece
    uint32_t maxMs;
    const char* log;
  } cases[] = {
      {300, 60, 3000, "  socket is not ready for writing\r\n  Socket send idle timeout\r\n"},
      // The buffers are full now: the next send waits at once.
      {3000, 2, 1000, "  socket operation aborted by application callback\r\n  Socket send aborted by application\r\n"},
  };
  for (const auto& c : cases) {
    CountingCallback answers;
    answers.abortAtHeartbeat = c.abortAtHeartbeat;
    ProgressMonitor monitor(&answers, 0, platform::Env::standard());
    log.clearLog();
    socket.setIdleLimit(c.idleLimitMs);
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(socket.sendAll(filler.data(), filler.size(), 65536, 50, log, &monitor));
    ASSERT_LT(platform::tickCount() - start, c.maxMs);
    ASSERT_EQ(textOf(log), std::string("QuillonLog:\r\n") + c.log);
  }
}

// The peer answers only the bytes gathered before the receive: they go out
// before it waits.
TEST(SocketConnection, CallbackStopAfterACompleteReceiveFailsItAndKeepsTheBytes) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntil("ping").send("data").stall(3000);
  peer.start();
  component::SocketConnection c;
  component::EncodedString host;
  host.setAnsi("127.0.0.1");
  ASSERT_TRUE(c.Connect(host, peer.port(), false, 2000, nullptr)) << textOf(c.log());
  c.setMoreToFollow(true);
  ASSERT_EQ(c.write("ping", 1, 4, nullptr), 4u);
  CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  component::DataBuffer out;
  EXPECT_FALSE(c.ReceiveBytes(out, &callback));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.getData()), out.getSize()), "data");
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    Socket ReceiveBytes aborted by application.\r\n");
  EXPECT_EQ(c.write("abc", 2, SIZE_MAX / 2 + 1, nullptr), 0u) << "a byte count that wraps around";
  EXPECT_EQ(c.write("abcdef", 2, 3, nullptr), 3u);
}

}  // namespace
