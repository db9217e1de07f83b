#include "service/fetcher.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "service/service_fixture.h"

namespace {

using testsupport::httpReply;
using testsupport::LoopbackPeer;

const char kRequest[] = "GET /getserverxml.php HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n";

class FetcherTest : public testsupport::ServiceTest {
 protected:
  std::string fetch(const std::string& host, uint16_t port,
                    const service::FetchLimits& limits = service::FetchLimits()) {
    return service::fetchServiceDocument(*desktop_, host, port, service::serviceRequest("/getserverxml.php", host),
                                         limits);
  }
};

// "<doc>" with `n` items of 39 bytes each.
std::string items(int n) {
  std::string body = "<doc>";
  for (int i = 0; i < n; ++i) body += "<item>abcdefghijklmnopqrstuvwxyz</item>";
  return body + "</doc>";
}

TEST(PercentEncode, KeepsUnreservedCharactersAndEncodesEverythingElseInUpperCase) {
  EXPECT_EQ(service::percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(service::percentEncode("a b&c#d=e+f%g/h?"), "a%20b%26c%23d%3De%2Bf%25g%2Fh%3F");
  EXPECT_EQ(service::percentEncode(std::string("\x00\x0a\x7f\xe9\xff", 5)), "%00%0A%7F%E9%FF");
}

TEST_F(FetcherTest, SendsTheRequestBytesExactlyAndEndsWithoutTheServerClosing) {
  LoopbackPeer peer;
  const std::string reply = httpReply("<getserver><uploadform>u</uploadform></getserver>");
  // The peer waits for the client to close: the fetch must end by itself.
  peer.receiveUntil("\n\n").send(reply).receiveUntilClosed(2000).close();
  peer.start();
  EXPECT_EQ(fetch("127.0.0.1", peer.port()), reply);
  ASSERT_TRUE(peer.waitDone(3000));
  EXPECT_EQ(peer.received(), kRequest);
  EXPECT_TRUE(peer.clientClosed());
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(FetcherTest, ReturnsTheRawReplyAsItArrivedUntilItsEndOrALimit) {
  enum End { kClose, kStall, kReset };
  struct Case {
    const char* name;
    std::string reply;
    size_t piece;  // 0: one send
    uint32_t pauseMs;
    End end;
    service::FetchLimits limits;
    std::string expected;  // empty: the whole reply
    uint32_t minMs, maxMs;
  };
  const std::string unframed = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + items(8);
  const std::string partial = "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<userdata>";
  std::string flood = "HTTP/1.1 200 OK\r\n\r\n" + std::string(20000, 'x');
  const service::FetchLimits normal;
  const Case cases[] = {
      // No length and no chunks: the close ends it, so every piece must be kept.
      {"many small pieces", unframed, 7, 1, kClose, normal, "", 0, 5000},
      {"longer than a receive buffer, Content-Length", httpReply(items(130)), 0, 0, kClose, normal, "", 0, 2000},
      {"longer than a receive buffer, unframed", "HTTP/1.0 200 OK\r\n\r\n" + items(130), 0, 0, kClose, normal, "",
       0, 2000},
      // A keep-alive server never closes: only the reply's own framing can end the fetch.
      {"keep-alive, Content-Length", httpReply(items(2)), 13, 0, kStall, normal, "", 0, 1000},
      {"keep-alive, chunked", testsupport::chunkedReply(items(2), 10), 13, 0, kStall, normal, "", 0, 1000},
      {"unframed from a silent server", "HTTP/1.1 200 OK\r\n\r\n<appinfo/>", 0, 0, kStall, {300, normal.maxReplyBytes},
       "", 290, 2000},
      {"beyond the cap", flood, 0, 0, kStall, {normal.idleTimeoutMs, 2500}, flood.substr(0, 2500), 0, 2000},
      {"reset after part of the reply", partial, 0, 0, kReset, normal, "", 0, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPeer peer;
    peer.receiveUntil("\n\n");
    if (c.piece) {
      peer.sendPieces(c.reply, c.piece, c.pauseMs);
    } else {
      peer.send(c.reply);
    }
    if (c.end == kClose) peer.close();
    if (c.end == kStall) peer.stall();
    if (c.end == kReset) peer.pause(50).reset();
    peer.start();
    const uint32_t start = platform::tickCount();
    EXPECT_EQ(fetch("127.0.0.1", peer.port(), c.limits), c.expected.empty() ? c.reply : c.expected);
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LT(elapsed, c.maxMs);
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(FetcherTest, AConnectionFailureShowsItsNetworkMessageOnce) {
  struct Case {
    std::string host;
    uint16_t port;
    const char* text;
  };
  const Case cases[] = {
      {"127.0.0.1", testsupport::closedLoopbackPort(),
       "Connection to Kestrova failed.\r\n\r\nCheck your Internet connection and try again."},
      {"no-such-host.invalid", 80, "DNS Lookup Failed.  Can't verify version."},
  };
  size_t shown = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(fetch(c.host, c.port), "error") << c.host;
    ASSERT_EQ(desktop_->boxCount(), ++shown) << c.host;
    const testsupport::RecordedBox box = desktop_->boxes().back();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, "Network Error");
    EXPECT_EQ(box.buttons, app::MessageButtons::kOk);
  }
}

TEST_F(FetcherTest, AConnectWithoutAnswerFailsAtItsTimeLimit) {
  testsupport::UnansweringListener listener;
  if (!listener.ready()) GTEST_SKIP() << "this system refuses connects to a full queue";
  service::FetchLimits limits;
  limits.connectTimeoutMs = 300;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(fetch("127.0.0.1", listener.port(), limits), "error");
  const uint32_t elapsed = platform::tickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 1500u);
  ASSERT_EQ(desktop_->boxCount(), 1u);
  EXPECT_EQ(desktop_->boxes().back().text,
            "Connection to Kestrova failed.\r\n\r\nCheck your Internet connection and try again.");
}

}  // namespace
