// Reading the reply: interim replies, framings, gzip bodies, and the bounds that
// keep a hostile reply from exhausting memory or looping. The framing cases run
// over a real loopback connection; the bounds over an in-memory one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/http/http_upload_impl.h"
#include "http_test_util.h"
#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"

namespace {

using component::HttpUploadImpl;
using testsupport::LoopbackPeer;

std::string logText(HttpUploadImpl& up) {
  component::StringBuffer out;
  up.lastErrorText(out);
  return out.getString();
}

std::string bodyOf(HttpUploadImpl& up) {
  component::DataBuffer& b = up.replyBody();
  return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}

// An upload without fields or files: its request ends with the closing
// boundary, after which the peer plays its reply.
class ReplyOverLoopback : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::ensureSocketsStarted(); }

  bool run(LoopbackPeer& peer) {
    peer.start(3000);
    up.hostName().setUtf8("127.0.0.1");
    up.path().setUtf8("/upload.php");
    up.setPort(peer.port());
    const bool ok = up.blockingUpload(nullptr);
    EXPECT_TRUE(peer.waitDone(3000));
    return ok;
  }
  LoopbackPeer& replyWith(const std::string& reply, size_t piece = 0, uint32_t pauseMs = 0) {
    peer.receiveUntil("--\r\n", 3000);
    if (piece) peer.sendPieces(reply, piece, pauseMs);
    else peer.send(reply);
    return peer;
  }

  LoopbackPeer peer;
  HttpUploadImpl up;
};

TEST_F(ReplyOverLoopback, InterimContinueIsSkippedInAnyCaseAndSpacing) {
  replyWith(
      "HTTP/1.1 100 Continue\r\n\r\n"
      "http/1.1  100  continue\r\nX-Interim: yes\r\n\r\n"
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
      .close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(up.statusCode(), 200);
  EXPECT_EQ(bodyOf(up), "hello");
  EXPECT_STREQ(up.replyHeaderText().getUtf8(), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
}

TEST_F(ReplyOverLoopback, Http10ContinueIsTheFinalReply) {
  replyWith("HTTP/1.0 100 Continue\r\n\r\n").close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(up.statusCode(), 100);
  EXPECT_EQ(bodyOf(up), "");
}

TEST_F(ReplyOverLoopback, StatusLineWithoutHttpIsUnexpected) {
  replyWith("ICY 200 OK\r\nContent-Length: 2\r\n\r\nok").close();
  EXPECT_FALSE(run(peer));
  EXPECT_EQ(up.statusCode(), 0);
  EXPECT_NE(logText(up).find("Received unexpected HTTP response"), std::string::npos);
}

TEST_F(ReplyOverLoopback, ChunkedBodyWithExtensionsSplitAcrossSegments) {
  replyWith("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;name=value\r\nhello\r\n3 ; x\r\nabc\r\n0\r\n\r\n", 3, 2)
      .close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), "helloabc");
}

TEST_F(ReplyOverLoopback, ContentLengthReadsExactlyThatManyWhileThePeerStaysOpen) {
  const std::string body = httptest::patternBytes(1200, 11);
  replyWith("HTTP/1.1 200 OK\r\nContent-Length: 1200\r\n\r\n" + body + "EXTRA").stall(5000);
  peer.start(3000);
  up.hostName().setUtf8("127.0.0.1");
  up.setPort(peer.port());
  const uint32_t start = platform::tickCount();
  ASSERT_TRUE(up.blockingUpload(nullptr)) << logText(up);
  EXPECT_LT(platform::tickCount() - start, 2000u) << "the reader must not wait for the peer to close";
  EXPECT_EQ(bodyOf(up), body);
}

TEST_F(ReplyOverLoopback, ContentLengthWithEarlyCloseKeepsWhatCame) {
  const std::string body = httptest::patternBytes(700, 12);
  replyWith("HTTP/1.1 200 OK\r\nContent-Length: 1200\r\n\r\n" + body).close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), body);
}

TEST_F(ReplyOverLoopback, UnframedBodyIsWhatOneReceiveBrings) {
  replyWith("HTTP/1.1 200 OK\r\nServer: t\r\n\r\nfirst").pause(300).send("second").close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), "first");
}

TEST_F(ReplyOverLoopback, UnframedBodyArrivingAfterTheHeaderIsOneReceive) {
  replyWith("HTTP/1.1 200 OK\r\nServer: t\r\n\r\n").pause(100).send("later").pause(300).send("more").close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), "later");
}

TEST_F(ReplyOverLoopback, GzipBodyIsUnpackedWhateverTheHeaderSays) {
  const std::string xml = "<?xml version=\"1.0\"?><upload><thumb>t.jpg</thumb></upload>" + std::string(3000, ' ');
  const std::string packed = httptest::gzipOf(xml);
  replyWith("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n" + packed).close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), xml);
}

TEST_F(ReplyOverLoopback, BogusGzipBodyStaysAsReceived) {
  const std::string bogus = std::string("\x1F\x8B", 2) + "this is not deflate data at all";
  replyWith("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(bogus.size()) +
            "\r\n\r\n" + bogus)
      .close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(bodyOf(up), bogus);
  EXPECT_NE(logText(up).find("gzip"), std::string::npos) << "the decompressor's entries stay in the log";
}

TEST_F(ReplyOverLoopback, ErrorStatusesWithBodiesAreReplies) {
  replyWith("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!").nextConnection();
  replyWith("HTTP/1.1 500 Internal Server Error\r\nTransfer-Encoding: chunked\r\n\r\n4\r\noops\r\n0\r\n\r\n");
  peer.start(3000);
  up.hostName().setUtf8("127.0.0.1");
  up.setPort(peer.port());
  ASSERT_TRUE(up.blockingUpload(nullptr)) << logText(up);
  EXPECT_EQ(up.statusCode(), 404);
  EXPECT_EQ(bodyOf(up), "not here!");
  ASSERT_TRUE(up.blockingUpload(nullptr)) << logText(up);
  EXPECT_EQ(up.statusCode(), 500);
  EXPECT_EQ(bodyOf(up), "oops");
  EXPECT_TRUE(peer.waitDone(3000));
}

TEST_F(ReplyOverLoopback, ReplyArrivingByteByByte) {
  replyWith("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1\r\nc\r\n0\r\n\r\n",
            1, 1)
      .close();
  ASSERT_TRUE(run(peer)) << logText(up);
  EXPECT_EQ(up.statusCode(), 201);
  EXPECT_EQ(bodyOf(up), "abc");
}

TEST_F(ReplyOverLoopback, CloseBeforeTheHeaderEndsFails) {
  replyWith("HTTP/1.1 200 OK\r\nContent-").close();
  EXPECT_FALSE(run(peer));
  const std::string log = logText(up);
  EXPECT_NE(log.find("Failed to receive until double-CRLF"), std::string::npos) << log;
  EXPECT_NE(log.find("socketLog: "), std::string::npos);
  EXPECT_STREQ(up.replyHeaderText().getUtf8(), "HTTP/1.1 200 OK\r\nContent-") << "what came stays";
}

TEST_F(ReplyOverLoopback, CloseAfterContinueFails) {
  replyWith("HTTP/1.1 100 Continue\r\n\r\n").close();
  EXPECT_FALSE(run(peer));
  EXPECT_NE(logText(up).find("Failed to receive after 100 Continue"), std::string::npos);
}

TEST_F(ReplyOverLoopback, ChunkedBodyCutShortFailsAtTheNextSizeLine) {
  replyWith("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n01234").close();
  EXPECT_FALSE(run(peer));
  const std::string log = logText(up);
  EXPECT_NE(log.find("Failed to response chunk size"), std::string::npos) << log;
  EXPECT_NE(log.find("Failed to fetch response data."), std::string::npos);
  EXPECT_EQ(bodyOf(up), "01234");
}

// The bounds, over an in-memory connection so that large and endless replies
// stay cheap. Limits are lowered where the default would make the test slow.
class ReplyBounds : public ::testing::Test {
 protected:
  bool read(const std::string& reply, std::vector<size_t> pieces = {}) {
    auto channel = std::make_unique<testsupport::MemoryChannel>(reply, std::move(pieces));
    record = channel->record();
    auto connection = std::make_unique<component::SocketConnection>();
    connection->adoptChannelForTesting(std::move(channel));
    up.attachConnectionForTesting(std::move(connection));
    return up.readReply();
  }

  HttpUploadImpl up;
  std::shared_ptr<testsupport::MemoryChannel::Record> record;
};

TEST_F(ReplyBounds, HeaderWithoutEndStopsAtTheLimit) {
  component::ReplyLimits limits;
  limits.maxHeaderBytes = 10000;
  up.setReplyLimits(limits);
  EXPECT_FALSE(read("HTTP/1.1 200 OK\r\n" + std::string(200000, 'a')));
  EXPECT_NE(logText(up).find("Reply header exceeds the size limit"), std::string::npos);
  EXPECT_LE(record->receives, 10000 / 4096 + 2) << "reading stops soon after the limit";
}

TEST_F(ReplyBounds, DefaultHeaderLimitIsOneMebibyte) {
  EXPECT_EQ(up.replyLimits().maxHeaderBytes, 1024u * 1024);
  EXPECT_EQ(up.replyLimits().maxInterimReplies, 100u);
  EXPECT_EQ(up.replyLimits().maxBodyBytes, 256u * 1024 * 1024);
  const std::string head = "HTTP/1.1 200 OK\r\nX-Pad: ";
  const std::string fits = head + std::string(1024 * 1024 - head.size() - 4, 'p') + "\r\n\r\n";
  EXPECT_TRUE(read(fits + "ok")) << "a header of exactly 1 MiB is read";
  EXPECT_FALSE(read("x" + fits)) << "one byte more is refused, although its end came";
  EXPECT_NE(logText(up).find("Reply header exceeds the size limit"), std::string::npos);
}

std::string continues(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "HTTP/1.1 100 Continue\r\n\r\n";
  return s;
}

TEST_F(ReplyBounds, AHundredInterimRepliesAreFineOneMoreIsNot) {
  EXPECT_TRUE(read(continues(100) + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")) << logText(up);
  EXPECT_EQ(up.statusCode(), 200);
  EXPECT_FALSE(read(continues(101) + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  EXPECT_NE(logText(up).find("Too many interim 100 Continue replies"), std::string::npos);
}

TEST_F(ReplyBounds, ChunkSizeLinesWithSignOrTooManyDigitsAreRefused) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  EXPECT_FALSE(read(head + "-5\r\nhello\r\n0\r\n\r\n"));
  EXPECT_NE(logText(up).find("sign"), std::string::npos);
  EXPECT_FALSE(read(head + "+5\r\nhello\r\n0\r\n\r\n"));
  EXPECT_FALSE(read(head + "00000000000000005\r\nhello\r\n0\r\n\r\n"));
  EXPECT_NE(logText(up).find("more than 16 hexadecimal digits"), std::string::npos);
  EXPECT_TRUE(read(head + "0000000000000005\r\nhello\r\n0x3\r\nabc\r\n0\r\n\r\n")) << logText(up);
  EXPECT_EQ(bodyOf(up), "helloabc");
}

TEST_F(ReplyBounds, ChunkSizeLineThatIsNoNumberEndsTheBody) {
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\nlater\r\n"));
  EXPECT_EQ(bodyOf(up), "abc");
}

TEST_F(ReplyBounds, ChunkSizesBeyondWhatRemainsOfTheBodyLimitAreRefused) {
  component::ReplyLimits limits;
  limits.maxBodyBytes = 1000;
  up.setReplyLimits(limits);
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  EXPECT_FALSE(read(head + "FFFFFFFFFFFFFFFF\r\n"));
  EXPECT_NE(logText(up).find("Chunk size exceeds the reply body limit"), std::string::npos);
  const std::string chunk600 = "258\r\n" + std::string(600, 'x') + "\r\n";
  EXPECT_FALSE(read(head + chunk600 + chunk600 + "0\r\n\r\n"));
  EXPECT_EQ(up.replyBody().getSize(), 600u) << "the second chunk is not read";
  EXPECT_TRUE(read(head + chunk600 + "190\r\n" + std::string(400, 'y') + "\r\n0\r\n\r\n")) << "exactly the limit";
}

TEST_F(ReplyBounds, ContentLengthOrUnframedBodyBeyondTheLimitIsRefused) {
  component::ReplyLimits limits;
  limits.maxBodyBytes = 100;
  up.setReplyLimits(limits);
  EXPECT_FALSE(read("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nabc"));
  EXPECT_NE(logText(up).find("Reply body exceeds the size limit"), std::string::npos);
  EXPECT_EQ(up.replyBody().getSize(), 0u) << "nothing is read for a length beyond the limit";
  EXPECT_FALSE(read("HTTP/1.1 200 OK\r\n\r\n" + std::string(101, 'u')));
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\n\r\n" + std::string(100, 'u')));
}

TEST_F(ReplyBounds, GzipBodyUnpackingBeyondTheLimitFails) {
  component::ReplyLimits limits;
  limits.maxBodyBytes = 1024 * 1024;
  up.setReplyLimits(limits);
  const std::string bomb = httptest::gzipOf(std::string(4 * 1024 * 1024, '\0'));
  ASSERT_LT(bomb.size(), 10000u);
  EXPECT_FALSE(read("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bomb.size()) + "\r\n\r\n" + bomb));
  EXPECT_NE(logText(up).find("Decompressed reply body exceeds the size limit"), std::string::npos);
  const std::string fits = httptest::gzipOf(std::string(1024 * 1024, 'k'));
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(fits.size()) + "\r\n\r\n" + fits));
  EXPECT_EQ(up.replyBody().getSize(), 1024u * 1024);
}

TEST_F(ReplyBounds, TruncatedGzipStaysAsReceived) {
  const std::string packed = httptest::gzipOf(httptest::patternBytes(5000, 2));
  const std::string cut = packed.substr(0, packed.size() / 2);
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(cut.size()) + "\r\n\r\n" + cut));
  EXPECT_EQ(bodyOf(up), cut);
}

TEST_F(ReplyBounds, BodyBytesAfterTheHeaderStayRaw) {
  std::string body;
  for (int i = 0; i < 256; ++i) body.push_back(char(i));
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\nContent-Length: 256\r\n\r\n" + body, {7}));
  EXPECT_EQ(bodyOf(up), body) << "zero bytes and bytes above 127 arrive unchanged";
}

TEST_F(ReplyBounds, ZeroByteInsideTheHeaderEndsItsText) {
  const char reply[] = "HTTP/1.1 200 OK\r\nX: a\0b\r\nContent-Length: 2\r\n\r\nok";
  EXPECT_TRUE(read(std::string(reply, sizeof reply - 1))) << logText(up);
  EXPECT_STREQ(up.replyHeaderText().getUtf8(), "HTTP/1.1 200 OK\r\nX: a");
  EXPECT_EQ(bodyOf(up), "ok") << "the Content-Length after the zero byte is lost, the body is unframed";
}

}  // namespace
