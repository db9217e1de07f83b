// Reading the reply: every framing and status as real and hostile servers send
// them, over a loopback connection through the public upload object; then the
// bounds that keep a hostile reply from exhausting memory or looping, over an
// in-memory one.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "component/net/net_test_util.h"
#include "http_test_util.h"
#include "platform/clock.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"
#include "support/temp_dir.h"

namespace {

using httptest::bodyOf;
using httptest::logText;
using namespace std::string_literals;

std::string gzipOf(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string withLength(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// How the peer ends each connection: after the reply; after it, once the client
// has closed; or at once after the request header, without reading the body.
enum Peer { kCloses, kStaysOpen, kAnswersEarly };

TEST(ReplyOverLoopback, FramingsStatusesAndEndings) {
  testsupport::TempDir dir;
  // Larger than the socket buffers of both ends, so that a peer that stops
  // reading makes the send fail.
  testsupport::writeFileBytes(dir.file("big.jpg"), httptest::patternBytes(16 * 1024 * 1024, 3));
  const std::string xml = "<?xml version=\"1.0\"?><upload><thumb>t.jpg</thumb></upload>" + std::string(3000, ' ');
  const std::string trailing = gzipOf("member") + "junk after it";
  const std::string bogus = "\x1F\x8B" "this is not deflate data at all";
  std::string bytes(768, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i);
  struct Case {
    const char* name;
    std::vector<std::string> parts;  // sent 300 ms apart
    bool ok;
    int status;
    std::string body;
    Peer peer = kCloses;
    size_t piece = 0;           // each part in pieces this long, 1 ms apart (0: whole)
    uint32_t abortAfterMs = 0;  // 0: no callback
    std::vector<const char*> logHas = {};
    const char* header = nullptr;  // the final reply's header text, when given
  } cases[] = {
      {"interim 100 Continue in any case and spacing",
       {"HTTP/1.1 100 Continue\r\n\r\nhttp/1.1  100  continue\r\nX-Interim: yes\r\n\r\n" + withLength("hello")}, true,
       200, "hello", kCloses, 0, 0, {}, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
      {"no status code", {"HTTP/1.1\r\nX: 200 OK\r\n\r\nok"}, false, 0, "", kCloses, 0, 0,
       {"Received unexpected HTTP response"}},
      {"no reason phrase", {"HTTP/1.1 200\r\nContent-Length:5\r\n\r\nhelloEXTRA"}, true, 200, "hello", kStaysOpen},
      {"status line ending in a bare line feed",
       {"HTTP/1.1 200 OK\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"}, true, 200, "abc"},
      {"the first of repeated fields counts",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\ntransfer-encoding: chunked\r\n"
        "content-length:  3\r\n\r\nabcdef"},
       true, 200, "abc", kStaysOpen},
      {"every byte value, in pieces, closed early", {withLength(bytes).substr(0, 40 + 300)}, true, 200,
       bytes.substr(0, 300), kCloses, 7},
      {"Content-Length while the server stays open", {withLength(bytes) + "EXTRA"}, true, 200, bytes, kStaysOpen},
      {"a zero byte ends the header text", {"HTTP/1.1 200 OK\r\nX: a\0b\r\nContent-Length: 2\r\n\r\nok"s}, true, 200,
       "ok", kCloses, 0, 0, {}, "HTTP/1.1 200 OK\r\nX: a"},
      {"no framing: the body ends where the server closes", {"HTTP/1.0 200 OK\r\n\r\nfirst", "second", "third"}, true,
       200, "firstsecondthird"},
      {"Content-Length 0 while the server stays open", {withLength("")}, true, 200, "", kStaysOpen},
      {"204 while the server stays open", {"HTTP/1.1 204 No Content\r\n\r\n"}, true, 204, "", kStaysOpen},
      {"gzip whatever the header says", {withLength(gzipOf(xml))}, true, 200, xml},
      {"gzip of two members, without framing", {"HTTP/1.0 200 OK\r\n\r\n" + gzipOf("first, ") + gzipOf("second")}, true,
       200, "first, second", kCloses, 7},
      {"bytes after the last gzip member", {withLength(trailing)}, true, 200, trailing, kCloses, 0, 0,
       {"Bytes after the gzip data are not gzip data"}},
      {"bogus gzip stays as received", {withLength(bogus)}, true, 200, bogus, kCloses, 0, 0, {"gzip"}},
      {"byte by byte, chunk sizes with extensions",
       {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nTransfer-Encoding: Chunked\r\n\r\n"
        "2;x=y\r\nab\r\n1 ; z\r\nc\r\n0\r\n\r\n"},
       true, 201, "abc", kCloses, 1},
      {"close before the header ends", {"HTTP/1.1 200 OK\r\nContent-"}, false, 0, "", kCloses, 0, 0,
       {"Failed to receive until double-CRLF", "socketLog: "}, "HTTP/1.1 200 OK\r\nContent-"},
      {"close after 100 Continue", {"HTTP/1.1 100 Continue\r\n\r\n"}, false, 0, "", kCloses, 0, 0,
       {"Failed to receive after 100 Continue"}},
      {"chunked body cut short", {kChunked + "A\r\n01234"}, false, 200, "01234", kCloses, 0, 0,
       {"Failed to response chunk size", "Failed to fetch response data."}},
      {"stopped during a sized body", {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nabc"}, false, 200, "abc",
       kStaysOpen, 0, 600, {"Aborted by application", "Failed to read response data"}},
      {"stopped during a body without framing", {"HTTP/1.0 200 OK\r\n\r\nabc"}, false, 200, "abc", kStaysOpen, 0, 600,
       {"Aborted by application"}},
      {"stopped during a chunked body", {kChunked + "1388\r\nabc"}, false, 200, "abc", kStaysOpen, 0, 600,
       {"Aborted by application", "Failed to get chunked response data"}},
      {"413 before the request was complete",
       {"HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 9\r\nConnection: close\r\n\r\ntoo large"}, false, 413,
       "too large", kAnswersEarly, 0, 0,
       {"Failed to send file data.", "The server replied before the whole request was sent",
        "statusLine: HTTP/1.1 413 Request Entity Too Large"}},
  };
  testsupport::LoopbackPeer peer;
  for (const Case& k : cases) {
    if (&k != cases) peer.nextConnection();
    peer.receiveUntil(k.peer == kAnswersEarly ? "\r\n\r\n" : "--\r\n", 3000).reading(k.peer != kAnswersEarly);
    for (size_t i = 0; i < k.parts.size(); ++i) {
      if (i) peer.pause(300);
      peer.sendPieces(k.parts[i], k.piece ? k.piece : k.parts[i].size(), k.piece ? 1 : 0);
    }
    if (k.peer == kStaysOpen) peer.stall(5000);
    peer.close();
  }
  peer.start(3000);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    component::HttpUpload up;
    up.setHostname("127.0.0.1");
    up.setPort(peer.port());
    up.setPath("/upload.php");
    if (k.peer == kAnswersEarly) up.addFileReference("image", dir.file("big.jpg").c_str());
    nettest::CountingCallback callback;
    callback.abortAfterMs = k.abortAfterMs;
    const uint32_t begin = platform::tickCount();
    EXPECT_EQ(up.blockingUpload(k.abortAfterMs ? &callback : nullptr), k.ok) << logText(up);
    EXPECT_LT(platform::tickCount() - begin, 3000u) << "no reply may make the reader wait for the server";
    EXPECT_EQ(up.statusCode(), k.status);
    EXPECT_EQ(bodyOf(up), k.body);
    for (const char* entry : k.logHas) EXPECT_NE(logText(up).find(entry), std::string::npos) << logText(up);
    if (k.header) {
      EXPECT_EQ(up.replyHeaderText(), k.header);
    }
  }
  EXPECT_TRUE(peer.waitDone(6000));
}

// The bounds, over an in-memory connection so that large and endless replies
// stay cheap. Limits are lowered where the default would make the test slow.
std::unique_ptr<component::HttpUpload> fromMemory(const std::string& reply) {
  auto up = std::make_unique<component::HttpUpload>(
      platform::Env::standard(), [reply] { return std::make_unique<testsupport::MemoryChannel>(reply); });
  up->setHostname("memory");
  return up;
}

TEST(ReplyBounds, RepliesAtAndBeyondEachLimit) {
  const std::string pad = "HTTP/1.1 200 OK\r\nX-Pad: ";
  const std::string mebibyteHeader = pad + std::string(1024 * 1024 - pad.size() - 4, 'p') + "\r\n\r\n";
  std::string continues;
  for (int i = 0; i < 101; ++i) continues += "HTTP/1.1 100 Continue\r\n\r\n";
  const struct {
    const char* name;
    uint32_t maxBody;  // 0: the default
    std::string reply;
    bool ok;
    const char* logHas;
    const char* body;  // null: not looked at
  } cases[] = {
      {"header of exactly 1 MiB", 0, mebibyteHeader + "ok", true, "", "ok"},
      {"header one byte longer, although its end came", 0, "x" + mebibyteHeader, false,
       "Reply header exceeds the size limit", nullptr},
      {"101 interim replies", 0, continues + withLength("ok"), false, "Too many interim 100 Continue replies", nullptr},
      {"chunk size with a sign", 0, kChunked + "-5\r\nhello\r\n0\r\n\r\n", false, "sign", nullptr},
      {"chunk size of 17 digits", 0, kChunked + "00000000000000005\r\nhello\r\n0\r\n\r\n", false,
       "more than 16 hexadecimal digits", nullptr},
      {"chunk size line that is no number ends the body", 0, kChunked + "3\r\nabc\r\nzz\r\nlater\r\n", true, "", "abc"},
      {"chunk sizes read as scanf reads them", 0, kChunked + " 0x3\r\nabc\r\n2 junk\r\nde\r\n0\r\n\r\n", true, "", "abcde"},
      {"chunk size beyond the body limit", 5, kChunked + "FFFFFFFFFFFFFFFF\r\n", false,
       "Chunk size exceeds the reply body limit", ""},
      {"second chunk beyond what remains", 5, kChunked + "3\r\nabc\r\n3\r\ndef\r\n0\r\n\r\n", false,
       "Chunk size exceeds the reply body limit", "abc"},
      {"Content-Length beyond the limit reads nothing", 100,
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabc", false, "Reply body exceeds the size limit",
       ""},
      {"unframed body beyond the limit", 100, "HTTP/1.1 200 OK\r\n\r\n" + std::string(101, 'u'), false,
       "Reply body exceeds the size limit", nullptr},
      {"gzip bomb", 1024 * 1024, withLength(gzipOf(std::string(4 * 1024 * 1024, '\0'))), false,
       "Decompressed reply body exceeds the size limit", nullptr},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const auto up = fromMemory(k.reply);
    component::ReplyLimits limits;
    if (k.maxBody) limits.maxBodyBytes = k.maxBody;
    up->setReplyLimits(limits);
    EXPECT_EQ(up->blockingUpload(), k.ok) << logText(*up);
    EXPECT_NE(logText(*up).find(k.logHas), std::string::npos) << logText(*up);
    if (k.body) {
      EXPECT_EQ(bodyOf(*up), k.body);
    }
  }
}

TEST(ReplyBounds, LargeBodiesTakeTimeInProportionToTheirSize) {
  // A body grown in fixed steps is copied over and over: 32 MiB took many
  // seconds that way, in every framing.
  const std::string body(32 * 1024 * 1024, 'b');
  std::string chunks = kChunked;
  for (size_t at = 0; at < body.size(); at += 16384) chunks += "4000\r\n" + body.substr(at, 16384) + "\r\n";
  for (const std::string& reply : {withLength(body), chunks + "0\r\n\r\n", "HTTP/1.0 200 OK\r\n\r\n" + body}) {
    SCOPED_TRACE(reply.substr(0, 30));
    const auto up = fromMemory(reply);
    const uint32_t begin = platform::tickCount();
    EXPECT_TRUE(up->blockingUpload()) << logText(*up);
    EXPECT_LT(platform::tickCount() - begin, 4000u);
    EXPECT_EQ(bodyOf(*up).size(), body.size());
  }
}

}  // namespace
