#include "service/fetcher.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/clock.h"
#include "service/service_fixture.h"
#include "service/upload_server.h"
#include "support/loopback_peer.h"

namespace {

using testsupport::httpReply;
using testsupport::LoopbackPeer;

class FetcherTest : public testsupport::ServiceTest {
 protected:
  std::string fetch(uint16_t port, const service::FetchLimits& limits = service::FetchLimits()) {
    return service::fetchServiceDocument(*desktop_, "127.0.0.1", port,
                                         service::serviceRequest("/getserverxml.php", "127.0.0.1"), limits);
  }
};

TEST(ServiceRequest, HasThreeBareLineFeedLinesAndAnEmptyOne) {
  EXPECT_EQ(service::serviceRequest("/getserverxml.php", "kestrova.com"),
            "GET /getserverxml.php HTTP/1.1\nUser-Agent:Mozilla\nHost:kestrova.com\n\n");
}

TEST(PercentEncode, KeepsUnreservedCharactersAndEncodesEverythingElseInUpperCase) {
  EXPECT_EQ(service::percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(service::percentEncode("a b&c#d=e+f%g/h?"), "a%20b%26c%23d%3De%2Bf%25g%2Fh%3F");
  EXPECT_EQ(service::percentEncode(std::string("\x00\x0a\x7f\xe9\xff", 5)), "%00%0A%7F%E9%FF");
  EXPECT_EQ(service::percentEncode(""), "");
}

TEST_F(FetcherTest, SendsTheRequestBytesExactlyAndReturnsTheWholeRawReply) {
  LoopbackPeer peer;
  const std::string reply = httpReply("<getserver><uploadform>u</uploadform></getserver>");
  // The peer waits for the client to close: the fetch must end by itself.
  peer.receiveUntil("\n\n").send(reply).receiveUntilClosed(2000).close();
  peer.start();
  EXPECT_EQ(fetch(peer.port()), reply);
  ASSERT_TRUE(peer.waitDone(3000));
  EXPECT_EQ(peer.received(), "GET /getserverxml.php HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  EXPECT_TRUE(peer.clientClosed());
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(FetcherTest, ReassemblesAReplyDeliveredInManySmallPieces) {
  LoopbackPeer peer;
  std::string body = "<?xml version=\"1.0\"?><getserver><uploadform>";
  for (int i = 0; i < 20; ++i) body += "http://piece" + std::to_string(i) + ".invalid/";
  body += "</uploadform></getserver>";
  // No length and no chunks: the close ends it, so every piece must be kept.
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + body;
  peer.receiveUntil("\n\n").sendPieces(reply, 7, 1).close();
  peer.start();
  EXPECT_EQ(fetch(peer.port()), reply);
}

TEST_F(FetcherTest, ReturnsRepliesLongerThanOneReceiveBufferWhole) {
  std::string body = "<doc>";
  while (body.size() < 5000) body += "<item>abcdefghijklmnopqrstuvwxyz</item>";
  body += "</doc>";
  for (bool withLength : {true, false}) {
    LoopbackPeer peer;
    const std::string reply = withLength ? httpReply(body) : "HTTP/1.0 200 OK\r\n\r\n" + body;
    peer.receiveUntil("\n\n").send(reply).close();
    peer.start();
    EXPECT_EQ(fetch(peer.port()), reply) << withLength;
  }
}

TEST_F(FetcherTest, EndsPromptlyWhenAKeepAliveServerHasSentAWholeReply) {
  const std::string body = "<getserver><uploadform>http://up.invalid/u.php</uploadform></getserver>";
  for (bool chunked : {false, true}) {
    LoopbackPeer peer;
    const std::string reply = chunked ? testsupport::chunkedReply(body, 10) : httpReply(body);
    // The server never closes: only the reply's own framing can end the fetch.
    peer.receiveUntil("\n\n").sendPieces(reply, 13, 0).stall();
    peer.start();
    const uint32_t start = platform::tickCount();
    EXPECT_EQ(fetch(peer.port()), reply);
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_LT(elapsed, 1000u) << (chunked ? "chunked" : "Content-Length");
    std::cout << "[ measure  ] keep-alive fetch, " << (chunked ? "chunked" : "Content-Length") << ": " << elapsed
              << " ms\n";
  }
}

TEST_F(FetcherTest, AReplyWithoutFramingFromASilentServerEndsAfterTheIdleTime) {
  LoopbackPeer peer;
  const std::string reply = "HTTP/1.1 200 OK\r\n\r\n<appinfo/>";
  peer.receiveUntil("\n\n").send(reply).stall();
  peer.start();
  service::FetchLimits limits;
  limits.idleTimeoutMs = 300;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(fetch(peer.port(), limits), reply);
  const uint32_t elapsed = platform::tickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 2000u);
}

TEST_F(FetcherTest, KeepsOnlyTheBytesBeforeTheCap) {
  LoopbackPeer peer;
  std::string flood = "HTTP/1.1 200 OK\r\n\r\n";
  while (flood.size() < 20000) flood += "0123456789";
  peer.receiveUntil("\n\n").send(flood).stall();
  peer.start();
  service::FetchLimits limits;
  limits.maxReplyBytes = 2500;
  const uint32_t start = platform::tickCount();
  EXPECT_EQ(fetch(peer.port(), limits), flood.substr(0, 2500));
  EXPECT_LT(platform::tickCount() - start, 2000u);
}

TEST_F(FetcherTest, AResetAfterPartOfTheReplyReturnsWhatArrived) {
  LoopbackPeer peer;
  const std::string part = "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<userdata>";
  peer.receiveUntil("\n\n").send(part).pause(50).reset();
  peer.start();
  EXPECT_EQ(fetch(peer.port()), part);
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(FetcherTest, ARefusedConnectionShowsTheConnectionMessageOnce) {
  EXPECT_EQ(fetch(testsupport::closedLoopbackPort()), "error");
  const testsupport::RecordedBox box = onlyBox();
  EXPECT_EQ(box.text, "Connection to Kestrova failed.\r\n\r\nCheck your Internet connection and try again.");
  EXPECT_EQ(box.caption, "Network Error");
  EXPECT_EQ(box.buttons, app::MessageButtons::kOk);
}

TEST_F(FetcherTest, AnUnknownHostShowsTheLookupMessageOnce) {
  EXPECT_EQ(service::fetchServiceDocument(*desktop_, "no-such-host.invalid", 80,
                                          service::serviceRequest("/getserverxml.php", "no-such-host.invalid")),
            "error");
  const testsupport::RecordedBox box = onlyBox();
  EXPECT_EQ(box.text, "DNS Lookup Failed.  Can't verify version.");
  EXPECT_EQ(box.caption, "Network Error");
}

// The reply steps, seen through the upload server lookup.
TEST_F(FetcherTest, SavesTheReplyFromItsFirstAngleBracketAndParsesTheFile) {
  LoopbackPeer peer;
  const std::string body = "<?xml version=\"1.0\"?>\n<getserver><uploadform>http://u.invalid/up</uploadform></getserver>";
  const std::string reply = testsupport::chunkedReply(body, 1000);
  peer.receiveUntil("\n\n").send(reply).close();
  peer.start();
  useService(peer.port());
  ASSERT_TRUE(service::lookUpUploadServer(*state_));
  // The chunk-size line before the document is cut; the end marker after it stays.
  EXPECT_EQ(testsupport::fileBytes("data/serverdata.xml"), body + "\r\n0\r\n\r\n");
  EXPECT_EQ(state_->uploadUrl, "http://u.invalid/up");
}

TEST_F(FetcherTest, AnErrorPageIsSavedAndReadLikeAnyOtherReply) {
  struct Case {
    std::string page;
    const char* message;
  };
  const Case cases[] = {
      {"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>",
       "Cannot find root node in server XML"},
      {"<!DOCTYPE html><html><body><p>Gone<br></body></html>", "Error opening server XML"},
  };
  size_t shown = 0;
  for (const Case& c : cases) {
    LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(httpReply(c.page, "404 Not Found")).close();
    peer.start();
    useService(peer.port());
    EXPECT_FALSE(service::lookUpUploadServer(*state_));
    EXPECT_EQ(testsupport::fileBytes("data/serverdata.xml"), c.page);
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), ++shown);
    EXPECT_EQ(boxes.back().text, c.message);
    EXPECT_EQ(boxes.back().caption, "Setup Error");
  }
}

TEST(SaveAndLoadReply, AReplyWithoutAnyAngleBracketLeavesAnEmptyFileThatDoesNotLoad) {
  testsupport::TempWorkDir dir;
  std::filesystem::create_directory("data");
  std::ofstream("data/versiondata.xml") << "<appinfo/>";
  TiXmlDocument document;
  EXPECT_FALSE(service::saveAndLoadReply("HTTP/1.1 204 No Content\r\n\r\n", "versiondata.xml", &document));
  EXPECT_EQ(testsupport::fileBytes("data/versiondata.xml"), "");
  EXPECT_TRUE(service::saveAndLoadReply("junk<appinfo/>", "versiondata.xml", &document));
  EXPECT_STREQ(document.RootElement()->Value(), "appinfo");
}

}  // namespace
