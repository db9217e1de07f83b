// Reading the reply: interim replies, framings, gzip bodies, and the bounds that
// keep a hostile reply from exhausting memory or looping. The framing cases run
// over a real loopback connection; the bounds over an in-memory one.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/http/http_upload_impl.h"
#include "http_test_util.h"
#include "platform/clock.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"

namespace {

using component::HttpUploadImpl;
using httptest::bodyOf;
using httptest::logText;
using testsupport::LoopbackPeer;

// An upload without fields or files: its request ends with the closing
// boundary, after which the peer plays the reply.
class ReplyOverLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::ensureSocketsStarted();
    up.hostName().setUtf8("127.0.0.1");
    up.path().setUtf8("/upload.php");
  }
  LoopbackPeer& replyWith(const std::string& reply, size_t piece = 0, uint32_t pauseMs = 0) {
    peer.receiveUntil("--\r\n", 3000);
    if (piece) {
      peer.sendPieces(reply, piece, pauseMs);
    } else {
      peer.send(reply);
    }
    return peer;
  }
  void start() {
    peer.start(3000);
    up.setPort(peer.port());
  }

  LoopbackPeer peer;
  HttpUploadImpl up;
};

TEST_F(ReplyOverLoopback, FramingsAndStatusesOneRunAfterAnother) {
  const std::string xml = "<?xml version=\"1.0\"?><upload><thumb>t.jpg</thumb></upload>" + std::string(3000, ' ');
  const std::string packed = httptest::gzipOf(xml);
  const std::string bogus = std::string("\x1F\x8B", 2) + "this is not deflate data at all";
  const std::string early = httptest::patternBytes(700, 12);
  const struct {
    const char* name;
    std::vector<std::string> parts;  // sent 300 ms apart
    size_t piece;                    // each part in pieces this long (0: whole)
    uint32_t pauseMs;                // after each piece
    bool ok;
    int status;
    std::string body;
    std::vector<const char*> logHas;
    const char* header;  // the final reply's header text, when given
  } cases[] = {
      {"interim 100 Continue in any case and spacing",
       {"HTTP/1.1 100 Continue\r\n\r\nhttp/1.1  100  continue\r\nX-Interim: yes\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
       0, 0, true, 200, "hello", {}, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
      {"HTTP/1.0 100 Continue is the final reply", {"HTTP/1.0 100 Continue\r\n\r\n"}, 0, 0, true, 100, "", {}, nullptr},
      {"no HTTP in the status line", {"ICY 200 OK\r\nContent-Length: 2\r\n\r\nok"}, 0, 0, false, 0, "",
       {"Received unexpected HTTP response"}, nullptr},
      {"chunked with extensions, split",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;name=value\r\nhello\r\n3 ; x\r\nabc\r\n0\r\n\r\n"}, 3,
       2, true, 200, "helloabc", {}, nullptr},
      {"Content-Length, closed early", {"HTTP/1.1 200 OK\r\nContent-Length: 1200\r\n\r\n" + early}, 0, 0, true, 200,
       early, {}, nullptr},
      {"unframed body is what one receive brings", {"HTTP/1.1 200 OK\r\nServer: t\r\n\r\nfirst", "second"}, 0, 0,
       true, 200, "first", {}, nullptr},
      {"unframed body after the header", {"HTTP/1.1 200 OK\r\nServer: t\r\n\r\n", "later", "more"}, 0, 0, true, 200,
       "later", {}, nullptr},
      {"gzip body whatever the header says",
       {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n" + packed}, 0, 0, true, 200,
       xml, {}, nullptr},
      {"bogus gzip stays as received",
       {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(bogus.size()) + "\r\n\r\n" +
        bogus},
       0, 0, true, 200, bogus, {"gzip"}, nullptr},
      {"404 with a body", {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!"}, 0, 0, true, 404,
       "not here!", {}, nullptr},
      {"500 with a chunked body",
       {"HTTP/1.1 500 Internal Server Error\r\nTransfer-Encoding: chunked\r\n\r\n4\r\noops\r\n0\r\n\r\n"}, 0, 0,
       true, 500, "oops", {}, nullptr},
      {"byte by byte",
       {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1\r\nc\r\n0"
        "\r\n\r\n"},
       1, 1, true, 201, "abc", {}, nullptr},
      {"close before the header ends", {"HTTP/1.1 200 OK\r\nContent-"}, 0, 0, false, 0, "",
       {"Failed to receive until double-CRLF", "socketLog: "}, "HTTP/1.1 200 OK\r\nContent-"},
      {"close after 100 Continue", {"HTTP/1.1 100 Continue\r\n\r\n"}, 0, 0, false, 0, "",
       {"Failed to receive after 100 Continue"}, nullptr},
      {"chunked body cut short", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n01234"}, 0, 0, false,
       200, "01234", {"Failed to response chunk size", "Failed to fetch response data."}, nullptr},
  };
  for (const auto& k : cases) {
    if (&k != cases) peer.nextConnection();
    replyWith(k.parts[0], k.piece, k.pauseMs);
    for (size_t i = 1; i < k.parts.size(); ++i) peer.pause(300).send(k.parts[i]);
    peer.close();
  }
  start();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(up.blockingUpload(nullptr), k.ok) << logText(up);
    EXPECT_EQ(up.statusCode(), k.status);
    EXPECT_EQ(bodyOf(up), k.body);
    for (const char* entry : k.logHas) EXPECT_NE(logText(up).find(entry), std::string::npos) << logText(up);
    if (k.header) {
      EXPECT_STREQ(up.replyHeaderText().getUtf8(), k.header);
    }
  }
  EXPECT_TRUE(peer.waitDone(3000));
}

TEST_F(ReplyOverLoopback, ContentLengthReadsExactlyThatManyWhileThePeerStaysOpen) {
  const std::string body = httptest::patternBytes(1200, 11);
  replyWith("HTTP/1.1 200 OK\r\nContent-Length: 1200\r\n\r\n" + body + "EXTRA").stall(5000);
  start();
  const uint32_t begin = platform::tickCount();
  ASSERT_TRUE(up.blockingUpload(nullptr)) << logText(up);
  EXPECT_LT(platform::tickCount() - begin, 2000u) << "the reader must not wait for the peer to close";
  EXPECT_EQ(bodyOf(up), body);
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

std::string continues(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "HTTP/1.1 100 Continue\r\n\r\n";
  return s;
}

std::string gzipReply(const std::string& packed) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n" + packed;
}

TEST_F(ReplyBounds, RepliesAtAndBeyondEachLimit) {
  const std::string pad = "HTTP/1.1 200 OK\r\nX-Pad: ";
  const std::string mebibyteHeader = pad + std::string(1024 * 1024 - pad.size() - 4, 'p') + "\r\n\r\n";
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunk600 = "258\r\n" + std::string(600, 'x') + "\r\n";
  const std::string bomb = httptest::gzipOf(std::string(4 * 1024 * 1024, '\0'));
  ASSERT_LT(bomb.size(), 10000u);
  const std::string packed = httptest::gzipOf(httptest::patternBytes(5000, 2));
  const std::string cutGzip = packed.substr(0, packed.size() / 2);
  const struct {
    const char* name;
    uint32_t maxBody;  // 0: the default
    std::string reply;
    bool ok;
    const char* logHas;
    std::optional<std::string> body;
  } cases[] = {
      {"header of exactly 1 MiB", 0, mebibyteHeader + "ok", true, "", "ok"},
      {"header one byte longer, although its end came", 0, "x" + mebibyteHeader, false,
       "Reply header exceeds the size limit", std::nullopt},
      {"100 interim replies", 0, continues(100) + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true, "", "ok"},
      {"101 interim replies", 0, continues(101) + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
       "Too many interim 100 Continue replies", std::nullopt},
      {"chunk size with a minus", 0, chunked + "-5\r\nhello\r\n0\r\n\r\n", false, "sign", std::nullopt},
      {"chunk size with a plus", 0, chunked + "+5\r\nhello\r\n0\r\n\r\n", false, "sign", std::nullopt},
      {"chunk size of 17 digits", 0, chunked + "00000000000000005\r\nhello\r\n0\r\n\r\n", false,
       "more than 16 hexadecimal digits", std::nullopt},
      {"chunk sizes of 16 digits and with 0x", 0, chunked + "0000000000000005\r\nhello\r\n0x3\r\nabc\r\n0\r\n\r\n",
       true, "", "helloabc"},
      {"chunk size line that is no number ends the body", 0, chunked + "3\r\nabc\r\nzz\r\nlater\r\n", true, "",
       "abc"},
      {"chunk size beyond the body limit", 1000, chunked + "FFFFFFFFFFFFFFFF\r\n", false,
       "Chunk size exceeds the reply body limit", std::nullopt},
      {"second chunk beyond what remains", 1000, chunked + chunk600 + chunk600 + "0\r\n\r\n", false,
       "Chunk size exceeds the reply body limit", std::string(600, 'x')},
      {"chunks of exactly the limit", 1000, chunked + chunk600 + "190\r\n" + std::string(400, 'y') + "\r\n0\r\n\r\n",
       true, "", std::string(600, 'x') + std::string(400, 'y')},
      {"Content-Length beyond the limit reads nothing", 100,
       "HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\nabc", false, "Reply body exceeds the size limit", ""},
      {"unframed body beyond the limit", 100, "HTTP/1.1 200 OK\r\n\r\n" + std::string(101, 'u'), false,
       "Reply body exceeds the size limit", std::nullopt},
      {"unframed body of exactly the limit", 100, "HTTP/1.1 200 OK\r\n\r\n" + std::string(100, 'u'), true, "",
       std::string(100, 'u')},
      {"gzip bomb", 1024 * 1024, gzipReply(bomb), false, "Decompressed reply body exceeds the size limit", std::nullopt},
      {"gzip unpacking to exactly the limit", 1024 * 1024, gzipReply(httptest::gzipOf(std::string(1024 * 1024, 'k'))),
       true, "", std::string(1024 * 1024, 'k')},
      {"truncated gzip stays as received", 0, gzipReply(cutGzip), true, "", cutGzip},
  };
  EXPECT_EQ(up.replyLimits().maxBodyBytes, 256u * 1024 * 1024);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    component::ReplyLimits limits;
    if (k.maxBody) limits.maxBodyBytes = k.maxBody;
    up.setReplyLimits(limits);
    EXPECT_EQ(read(k.reply), k.ok) << logText(up);
    EXPECT_NE(logText(up).find(k.logHas), std::string::npos) << logText(up);
    if (k.ok) {
      EXPECT_EQ(up.statusCode(), 200);
    }
    if (k.body) {
      EXPECT_TRUE(bodyOf(up) == *k.body) << bodyOf(up).size();
    }
  }
}

TEST_F(ReplyBounds, BodyBytesAfterTheHeaderStayRaw) {
  std::string body;
  for (int i = 0; i < 256; ++i) body.push_back(char(i));
  EXPECT_TRUE(read("HTTP/1.1 200 OK\r\nContent-Length: 256\r\n\r\n" + body, {7}));
  EXPECT_EQ(bodyOf(up), body) << "zero bytes and bytes above 127 arrive unchanged";

  const char zeroInHeader[] = "HTTP/1.1 200 OK\r\nX: a\0b\r\nContent-Length: 2\r\n\r\nok";
  EXPECT_TRUE(read(std::string(zeroInHeader, sizeof zeroInHeader - 1))) << logText(up);
  EXPECT_STREQ(up.replyHeaderText().getUtf8(), "HTTP/1.1 200 OK\r\nX: a") << "a zero byte ends the header text";
  EXPECT_EQ(bodyOf(up), "ok") << "the Content-Length after the zero byte is lost, the body is unframed";
}

}  // namespace
