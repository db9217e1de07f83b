#include "service/fetcher.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "service/service_fixture.h"
#include "service/sign_in.h"
#include "service/upload_server.h"
#include "service/version_check.h"

namespace {

using testsupport::httpReply;
using testsupport::LoopbackPeer;

class FetcherTest : public testsupport::ServiceTest {
 protected:
  std::string fetch(const std::string& host, uint16_t port, const app::FetchLimits& limits = {}) {
    return service::fetchServiceDocument(*desktop_, host, port, service::serviceRequest("/getserverxml.php", host),
                                         limits);
  }
};

// "<getserver>" with an upload address and `n` ignored items of 39 bytes each.
std::string serverDocument(int n) {
  std::string body = "<getserver><uploadform>http://up.invalid/u.php</uploadform>";
  for (int i = 0; i < n; ++i) body += "<item>abcdefghijklmnopqrstuvwxyz</item>";
  return body + "</getserver>";
}

// Elements nested `depth` levels deep inside `root`, after `first`.
std::string nested(const std::string& root, int depth, const std::string& first = "") {
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<a>", close += "</a>";
  return "<" + root + ">" + first + open + close + "</" + root + ">";
}

TEST(PercentEncode, KeepsUnreservedCharactersAndEncodesEverythingElseInUpperCase) {
  EXPECT_EQ(service::percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(service::percentEncode("a b&c#d=e+f%g/h?"), "a%20b%26c%23d%3De%2Bf%25g%2Fh%3F");
  EXPECT_EQ(service::percentEncode(std::string("\x00\x0a\x7f\xe9\xff", 5)), "%00%0A%7F%E9%FF");
}

// Every reply goes through the client that asked for it, so what counts is
// what that step ends with: the file it saved, its message, and how long the
// server could hold it.
TEST_F(FetcherTest, RepliesEndByTheirFramingOrALimitAndFailOnlyTheirOwnStep) {
  enum Client { kSignIn, kLookUp, kVersion };
  enum End { kClose, kStall, kReset };
  struct Row {
    const char* name;
    Client client;
    std::string reply;
    size_t piece;  // 0: one send
    uint32_t pauseMs;
    End end;
    app::FetchLimits limits;
    bool ok;
    const char* message;  // the one box shown, or null
    std::string saved;    // the reply file afterwards
    uint32_t minMs, maxMs;
  };
  const app::FetchLimits normal;
  app::FetchLimits idle300 = normal, cap2500 = normal, overall400 = normal;
  idle300.idleTimeoutMs = 300;
  cap2500.maxReplyBytes = 2500;
  overall400.overallTimeoutMs = 400;
  const std::string small = serverDocument(2), large = serverDocument(130);
  const std::string address = "<uploadform>http://up.invalid/u.php</uploadform>";
  const std::string deepUser = nested("userdata", 50000), deepServer = nested("getserver", 50000, address);
  const std::string deepVersion = nested("appinfo", 50000), roomy = nested("getserver", 200, address);
  const std::string unframed = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n";
  const std::string flood = unframed + small + std::string(20000, 'x');
  const std::string chunked = testsupport::chunkedReply(small, 1000);
  const std::string badUser = "Error opening user XML", badServer = "Error opening server XML";
  const Row rows[] = {
      // No length and no chunks: the close ends it, so every piece must be kept.
      {"many small pieces", kLookUp, unframed + small, 7, 1, kClose, normal, true, nullptr, small, 0, 5000},
      {"longer than a receive buffer", kLookUp, httpReply(large), 0, 0, kClose, normal, true, nullptr, large, 0, 2000},
      {"unframed, longer than a receive buffer", kLookUp, unframed + large, 0, 0, kClose, normal, true, nullptr, large,
       0, 2000},
      // A keep-alive server never closes: only the reply's own framing ends it.
      {"keep-alive, Content-Length", kLookUp, httpReply(small), 13, 0, kStall, normal, true, nullptr, small, 0, 1000},
      {"keep-alive, chunked", kLookUp, chunked, 13, 0, kStall, normal, true, nullptr, small + "\r\n0\r\n\r\n", 0,
       1000},
      {"unframed from a silent server", kLookUp, unframed + small, 0, 0, kStall, idle300, true, nullptr, small, 290,
       2000},
      {"beyond the cap", kLookUp, flood, 0, 0, kStall, cap2500, true, nullptr,
       flood.substr(unframed.size(), 2500 - unframed.size()), 0, 2000},
      {"reset after part of the reply", kLookUp, "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<getserver>", 0, 0,
       kReset, normal, false, badServer.c_str(), "<getserver>", 0, 2000},
      // Bytes after the framed end are not the reply's, however TCP cut them.
      {"Content-Length short of the document", kLookUp, "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n" + small, 0,
       0, kStall, normal, false, badServer.c_str(), small.substr(0, 30), 0, 1000},
      {"bytes after the last chunk", kLookUp, chunked + "<junk", 0, 0, kStall, normal, true, nullptr,
       small + "\r\n0\r\n\r\n", 0, 1000},
      // Nesting that would overflow the parser's stack fails as a broken reply.
      {"deep account data", kSignIn, httpReply(deepUser), 0, 0, kClose, normal, false, badUser.c_str(), deepUser, 400,
       3000},
      {"deep server reply", kLookUp, httpReply(deepServer), 0, 0, kClose, normal, false, badServer.c_str(), deepServer,
       0, 3000},
      {"deep version reply", kVersion, httpReply(deepVersion), 0, 0, kClose, normal, false, nullptr, deepVersion, 0,
       3000},
      {"nesting well within the limit", kLookUp, httpReply(roomy), 0, 0, kClose, normal, true, nullptr, roomy, 0, 2000},
      // A byte now and then must not hold the sign-in beyond the overall limit.
      {"dripping reply", kSignIn, unframed + nested("userdata", 1), 1, 50, kStall, overall400, false, badUser.c_str(),
       "", 800, 2000},
  };
  size_t shown = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LoopbackPeer peer;
    peer.receiveUntil("\n\n");
    if (row.piece) {
      peer.sendPieces(row.reply, row.piece, row.pauseMs);
    } else {
      peer.send(row.reply);
    }
    if (row.end == kClose) peer.close();
    if (row.end == kStall) peer.stall();
    if (row.end == kReset) peer.pause(50).reset();
    peer.start();
    useService(peer.port());
    state_->service.limits = row.limits;
    const uint32_t start = platform::tickCount();
    bool ok = false;
    const char* file = "data/serverdata.xml";
    if (row.client == kSignIn) {
      ok = service::signInAndLoadAlbums(*state_);
      file = "data/userdata.xml";
    } else if (row.client == kLookUp) {
      ok = service::lookUpUploadServer(*state_);
    } else {
      ok = service::versionCheckThread(*desktop_, state_->service) == 1;
      file = "data/versiondata.xml";
    }
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, row.minMs);
    EXPECT_LT(elapsed, row.maxMs);
    EXPECT_EQ(ok, row.ok);
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    EXPECT_EQ(boxes.size() - shown, row.message ? 1u : 0u);
    if (row.message && boxes.size() > shown) {
      EXPECT_EQ(boxes.back().text, row.message);
    }
    shown = boxes.size();
    EXPECT_EQ(testsupport::readFileBytes(file), row.saved);
  }
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
  app::FetchLimits limits;
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
