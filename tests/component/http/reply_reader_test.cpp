// Reading the reply: every framing and status as real and hostile servers send
// them, over a loopback connection through the public upload object; then the
// bounds that keep a hostile reply from exhausting memory or looping, over an
// in-memory one.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/http/http_upload_impl.h"
#include "component/net/progress_monitor.h"
#include "http_test_util.h"
#include "platform/clock.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"
#include "support/temp_dir.h"

namespace {

using component::HttpUploadImpl;
using httptest::bodyOf;
using httptest::logText;
using testsupport::LoopbackPeer;

// Answers "stop" in every callback once `ms` have passed.
class AbortAfter : public component::ProgressCallback {
 public:
  explicit AbortAfter(uint32_t ms) : start_(platform::tickCount()), ms_(ms) {}
  void percentDone(int, bool& abort) override { abort = due(); }
  void abortCheck(bool& abort) override { abort = due(); }
  void heartbeat(int, bool& abort) override { abort = due(); }
  bool wasAborted() override { return due(); }

 private:
  bool due() const { return platform::tickCount() - start_ >= ms_; }
  uint32_t start_, ms_;
};

// How the peer ends each connection.
enum class Peer {
  kCloses,        // after the reply
  kStaysOpen,     // after the reply, until the client closes
  kAnswersEarly,  // replies to the request header alone, then closes without reading the body
};

std::string chunked(const std::string& head, const std::string& body) {
  char size[16];
  std::snprintf(size, sizeof size, "%x", unsigned(body.size()));
  return head + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + body + "\r\n0\r\n\r\n";
}

TEST(ReplyOverLoopback, FramingsStatusesAndEndings) {
  testsupport::ensureSocketsStarted();
  testsupport::TempDir dir;
  // Larger than the socket buffers of both ends, so that a peer that stops
  // reading makes the send fail.
  testsupport::writeFileBytes(dir.file("big.jpg"), httptest::patternBytes(16 * 1024 * 1024, 3));
  const std::string xml = "<?xml version=\"1.0\"?><upload><thumb>t.jpg</thumb></upload>" + std::string(3000, ' ');
  const std::string packed = httptest::gzipOf(xml);
  const std::string twoMembers = httptest::gzipOf("first member, ") + httptest::gzipOf("second member");
  const std::string trailing = httptest::gzipOf("member") + "junk after it";
  const std::string bogus = std::string("\x1F\x8B", 2) + "this is not deflate data at all";
  const std::string early = httptest::patternBytes(700, 12);
  const auto withLength = [](const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  const struct {
    const char* name;
    std::vector<std::string> parts;  // sent 300 ms apart
    size_t piece;                    // each part in pieces this long (0: whole)
    uint32_t pauseMs;                // after each piece
    Peer peer;
    uint32_t abortAfterMs;  // 0: no callback
    bool ok;
    int status;
    std::string body;
    std::vector<const char*> logHas;
    const char* header;  // the final reply's header text, when given
  } cases[] = {
      {"interim 100 Continue in any case and spacing",
       {"HTTP/1.1 100 Continue\r\n\r\nhttp/1.1  100  continue\r\nX-Interim: yes\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
       0, 0, Peer::kCloses, 0, true, 200, "hello", {}, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
      {"HTTP/1.0 100 Continue is the final reply", {"HTTP/1.0 100 Continue\r\n\r\n"}, 0, 0, Peer::kCloses, 0, true,
       100, "", {}, nullptr},
      {"no HTTP in the status line", {"ICY 200 OK\r\nContent-Length: 2\r\n\r\nok"}, 0, 0, Peer::kCloses, 0, false, 0,
       "", {"Received unexpected HTTP response"}, nullptr},
      {"HTTP in another case", {"http/1.1 200 OK\r\n\r\nok"}, 0, 0, Peer::kCloses, 0, false, 0, "",
       {"Received unexpected HTTP response"}, nullptr},
      {"no status code", {"HTTP/1.1\r\nX: 200 OK\r\n\r\nok"}, 0, 0, Peer::kCloses, 0, false, 0, "",
       {"Received unexpected HTTP response"}, nullptr},
      {"no reason phrase, then chunked", {chunked("HTTP/1.1 200\r\n", "hello")}, 0, 0, Peer::kCloses, 0, true, 200,
       "hello", {}, nullptr},
      {"no reason phrase, then a length", {"HTTP/1.1 200\r\nContent-Length:5\r\n\r\nhelloEXTRA"}, 0, 0,
       Peer::kStaysOpen, 0, true, 200, "hello", {}, nullptr},
      {"status line ending in a bare line feed", {chunked("HTTP/1.1 200 OK\n", "abc")}, 0, 0, Peer::kCloses, 0, true,
       200, "abc", {}, nullptr},
      {"chunked with extensions, split",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;name=value\r\nhello\r\n3 ; x\r\nabc\r\n0\r\n\r\n"}, 3,
       2, Peer::kCloses, 0, true, 200, "helloabc", {}, nullptr},
      {"chunked named on a folded line", {"HTTP/1.1 200 OK\r\nTransfer-Encoding:\r\n\tchunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"},
       0, 0, Peer::kCloses, 0, true, 200, "abc", {}, nullptr},
      {"the first of repeated fields counts",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\ntransfer-encoding: chunked\r\ncontent-length:  3\r\n\r\n"
        "abcdef"},
       0, 0, Peer::kStaysOpen, 0, true, 200, "abc", {}, nullptr},
      {"Content-Length, closed early", {withLength(early).substr(0, 40 + 300)}, 0, 0, Peer::kCloses, 0, true, 200,
       early.substr(0, 300), {}, nullptr},
      {"Content-Length while the server stays open", {withLength(early) + "EXTRA"}, 0, 0, Peer::kStaysOpen, 0, true,
       200, early, {}, nullptr},
      {"no framing: the body ends where the server closes",
       {"HTTP/1.0 200 OK\r\nServer: t\r\n\r\nfirst", "second", "third"}, 0, 0, Peer::kCloses, 0, true, 200,
       "firstsecondthird", {}, nullptr},
      {"no framing, the body after the header", {"HTTP/1.1 200 OK\r\n\r\n", "later", "more"}, 0, 0, Peer::kCloses, 0,
       true, 200, "latermore", {}, nullptr},
      {"Content-Length 0 while the server stays open", {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}, 0, 0,
       Peer::kStaysOpen, 0, true, 200, "", {}, nullptr},
      {"204 while the server stays open", {"HTTP/1.1 204 No Content\r\n\r\n"}, 0, 0, Peer::kStaysOpen, 0, true, 204,
       "", {}, nullptr},
      {"gzip body whatever the header says", {withLength(packed)}, 0, 0, Peer::kCloses, 0, true, 200, xml, {},
       nullptr},
      {"gzip of two members, without framing", {"HTTP/1.0 200 OK\r\n\r\n" + twoMembers}, 7, 1, Peer::kCloses, 0, true,
       200, "first member, second member", {}, nullptr},
      {"bytes after the last gzip member", {withLength(trailing)}, 0, 0, Peer::kCloses, 0, true, 200, trailing,
       {"Bytes after the gzip data are not gzip data"}, nullptr},
      {"bogus gzip stays as received",
       {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(bogus.size()) + "\r\n\r\n" +
        bogus},
       0, 0, Peer::kCloses, 0, true, 200, bogus, {"gzip"}, nullptr},
      {"404 with a body", {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!"}, 0, 0, Peer::kCloses, 0,
       true, 404, "not here!", {}, nullptr},
      {"500 with a chunked body", {chunked("HTTP/1.1 500 Internal Server Error\r\n", "oops")}, 0, 0, Peer::kCloses, 0,
       true, 500, "oops", {}, nullptr},
      {"byte by byte",
       {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1\r\nc\r\n0"
        "\r\n\r\n"},
       1, 1, Peer::kCloses, 0, true, 201, "abc", {}, nullptr},
      {"close before the header ends", {"HTTP/1.1 200 OK\r\nContent-"}, 0, 0, Peer::kCloses, 0, false, 0, "",
       {"Failed to receive until double-CRLF", "socketLog: "}, "HTTP/1.1 200 OK\r\nContent-"},
      {"close after 100 Continue", {"HTTP/1.1 100 Continue\r\n\r\n"}, 0, 0, Peer::kCloses, 0, false, 0, "",
       {"Failed to receive after 100 Continue"}, nullptr},
      {"chunked body cut short", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n01234"}, 0, 0,
       Peer::kCloses, 0, false, 200, "01234", {"Failed to response chunk size", "Failed to fetch response data."},
       nullptr},
      {"stopped during a sized body", {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + early.substr(0, 96)}, 0, 0,
       Peer::kStaysOpen, 600, false, 200, early.substr(0, 96),
       {"Aborted by application", "Failed to read response data"}, nullptr},
      {"stopped during a body without framing", {"HTTP/1.0 200 OK\r\n\r\n" + early.substr(0, 96)}, 0, 0,
       Peer::kStaysOpen, 600, false, 200, early.substr(0, 96), {"Aborted by application"}, nullptr},
      {"stopped during a chunked body", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\nabc"}, 0, 0,
       Peer::kStaysOpen, 600, false, 200, "abc", {"Aborted by application", "Failed to get chunked response data"},
       nullptr},
      {"413 before the request was complete",
       {"HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 9\r\nConnection: close\r\n\r\ntoo large"}, 0, 0,
       Peer::kAnswersEarly, 0, false, 413, "too large",
       {"Failed to send file data.", "The server replied before the whole request was sent",
        "statusLine: HTTP/1.1 413 Request Entity Too Large"},
       nullptr},
  };
  LoopbackPeer peer;
  for (const auto& k : cases) {
    if (&k != cases) peer.nextConnection();
    if (k.peer == Peer::kAnswersEarly) {
      peer.receiveUntil("\r\n\r\n", 3000).reading(false);
    } else {
      peer.receiveUntil("--\r\n", 3000);
    }
    for (size_t i = 0; i < k.parts.size(); ++i) {
      if (i) peer.pause(300);
      if (k.piece) {
        peer.sendPieces(k.parts[i], k.piece, k.pauseMs);
      } else {
        peer.send(k.parts[i]);
      }
    }
    if (k.peer == Peer::kStaysOpen) peer.stall(5000);
    peer.close();
  }
  peer.start(3000);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    component::HttpUpload up;
    up.setHostname("127.0.0.1");
    up.setPort(peer.port());
    up.setPath("/upload.php");
    if (k.peer == Peer::kAnswersEarly) up.addFileReference("image", dir.file("big.jpg").c_str());
    std::unique_ptr<AbortAfter> callback;
    if (k.abortAfterMs) callback = std::make_unique<AbortAfter>(k.abortAfterMs);
    const uint32_t begin = platform::tickCount();
    EXPECT_EQ(up.blockingUpload(callback.get()), k.ok) << logText(up);
    EXPECT_LT(platform::tickCount() - begin, 3000u) << "no reply may make the reader wait for the server";
    EXPECT_EQ(up.statusCode(), k.status);
    EXPECT_EQ(bodyOf(up.impl()), k.body);
    for (const char* entry : k.logHas) EXPECT_NE(logText(up).find(entry), std::string::npos) << logText(up);
    if (k.header) {
      EXPECT_STREQ(up.impl().replyHeaderText().getUtf8(), k.header);
    }
    if (k.peer == Peer::kAnswersEarly) {
      EXPECT_EQ(up.statusLine(), "HTTP/1.1 413 Request Entity Too Large");
    }
  }
  EXPECT_TRUE(peer.waitDone(6000));
}

// The bounds, over an in-memory connection so that large and endless replies
// stay cheap. Limits are lowered where the default would make the test slow.
class ReplyBounds : public ::testing::Test {
 protected:
  bool read(const std::string& reply, std::vector<size_t> pieces = {}) { return read(reply, up, std::move(pieces)); }
  bool read(const std::string& reply, HttpUploadImpl& target, std::vector<size_t> pieces = {}) {
    auto channel = std::make_unique<testsupport::MemoryChannel>(reply, std::move(pieces));
    auto connection = std::make_unique<component::SocketConnection>();
    connection->adoptChannelForTesting(std::move(channel));
    target.attachConnectionForTesting(std::move(connection));
    return target.readReply();
  }

  HttpUploadImpl up;
};

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
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabc", false, "Reply body exceeds the size limit", ""},
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

TEST_F(ReplyBounds, LargeBodiesTakeTimeInProportionToTheirSize) {
  // A body grown in fixed steps is copied over and over: 32 MiB took many
  // seconds that way, in every framing.
  const std::string body(32 * 1024 * 1024, 'b');
  std::string chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (size_t at = 0; at < body.size(); at += 16384) chunks += "4000\r\n" + body.substr(at, 16384) + "\r\n";
  const std::string replies[] = {"HTTP/1.1 200 OK\r\nContent-Length: 33554432\r\n\r\n" + body, chunks + "0\r\n\r\n",
                                 "HTTP/1.0 200 OK\r\n\r\n" + body};
  for (const std::string& reply : replies) {
    SCOPED_TRACE(reply.substr(0, 30));
    HttpUploadImpl fresh;  // whose body has not grown yet
    const uint32_t begin = platform::tickCount();
    EXPECT_TRUE(read(reply, fresh)) << logText(fresh);
    EXPECT_LT(platform::tickCount() - begin, 4000u);
    EXPECT_EQ(fresh.replyBody().getSize(), body.size());
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
