// Whole requests as a peer on the loopback interface receives them, compared
// byte for byte with the random boundary masked, sent through the public
// HttpUpload object.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "component/http/http_upload.h"
#include "http_test_util.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

using httptest::closingBoundary;
using httptest::expectedHeader;
using httptest::fieldPart;
using httptest::filePartHeader;
using httptest::maskBoundary;
using testsupport::LoopbackPeer;

constexpr const char* kReply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

class RequestOnTheWire : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::ensureSocketsStarted();
    upload.setHostname("127.0.0.1");
    upload.setPath("/upload/api.php?x=1");
  }
  // Every request ends with "--\r\n" (the closing boundary).
  void expectConnections(int n) {
    for (int i = 0; i < n; ++i) {
      if (i) peer.nextConnection();
      peer.receiveUntil("--\r\n", 3000).send(kReply).receiveUntilClosed(3000).close();
    }
    peer.start(3000);
    upload.setPort(peer.port());
  }
  std::string captured(size_t index = 0) {
    EXPECT_TRUE(peer.waitDone(3000));
    return peer.received(index);
  }
  std::string header(uint64_t length) { return expectedHeader("127.0.0.1", "/upload/api.php?x=1", length); }
  std::string bodyOk() {
    component::ByteData data;
    upload.getResponseBody(data);
    return std::string(reinterpret_cast<const char*>(data.getData()), data.getSize());
  }

  testsupport::TempDir dir;
  LoopbackPeer peer;
  component::HttpUpload upload;
};

TEST_F(RequestOnTheWire, TheDocumentedExampleOf1291BodyBytes) {
  const std::string data = httptest::patternBytes(1000, 21);
  httptest::writeFile(dir.file("cat.JPG"), data);
  upload.addParam("user", "abc");
  upload.addFileReference("image", dir.file("cat.JPG").c_str());
  expectConnections(1);
  ASSERT_TRUE(upload.blockingUpload());
  const std::string request = captured();
  EXPECT_EQ(maskBoundary(request), header(1291) + fieldPart("user", "abc") +
                                       filePartHeader("image", "cat.JPG", "image/jpeg") + data + "\r\n" +
                                       closingBoundary());
  EXPECT_EQ(httptest::boundaryOf(request).size(), 43u);
  EXPECT_EQ(bodyOk(), "ok");
}

TEST_F(RequestOnTheWire, NoFieldsNoFilesAndUnusualNames) {
  httptest::writeFile(dir.file("Makefile"), "all:\n");
  httptest::writeFile(dir.file("shot.webp"), "RIFF");
  const std::string slashed = dir.path() + "/" + "shot.webp";
  upload.addFileReference("plain", dir.file("Makefile").c_str());
  upload.addFileReference("odd", slashed.c_str());
  expectConnections(1);
  ASSERT_TRUE(upload.blockingUpload());
  const std::string body = filePartHeader("plain", "Makefile", "") + "all:\n\r\n" +
                           filePartHeader("odd", "shot.webp", "application/octet-stream") + "RIFF\r\n" +
                           closingBoundary();
  EXPECT_EQ(maskBoundary(captured()), header(body.size() + 3 * 35) + body);
}

TEST_F(RequestOnTheWire, NoFilesAtAll) {
  upload.addParam("user", "abc");
  upload.addParam("thumbsize", "");
  expectConnections(1);
  ASSERT_TRUE(upload.blockingUpload());
  const std::string body = fieldPart("user", "abc") + fieldPart("thumbsize", "") + closingBoundary();
  EXPECT_EQ(maskBoundary(captured()), header(body.size() + 3 * 35) + body);
}

TEST_F(RequestOnTheWire, NothingButTheClosingBoundary) {
  expectConnections(1);
  ASSERT_TRUE(upload.blockingUpload());
  EXPECT_EQ(maskBoundary(captured()), header(49) + closingBoundary());
}

TEST_F(RequestOnTheWire, OrderOfAddingDoesNotMatter) {
  httptest::writeFile(dir.file("a.gif"), "GIF");
  upload.addFileReference("image", dir.file("a.gif").c_str());
  upload.addParam("user", "abc");
  upload.addParam("aid", "12");

  component::HttpUpload other;
  other.setHostname("127.0.0.1");
  other.setPath("/upload/api.php?x=1");
  other.addParam("user", "abc");
  other.addParam("aid", "12");
  other.addFileReference("image", dir.file("a.gif").c_str());

  expectConnections(2);
  other.setPort(peer.port());
  ASSERT_TRUE(upload.blockingUpload());
  ASSERT_TRUE(other.blockingUpload());
  EXPECT_EQ(maskBoundary(captured(0)), maskBoundary(captured(1)));
  const std::string body = fieldPart("user", "abc") + fieldPart("aid", "12") +
                           filePartHeader("image", "a.gif", "image/gif") + "GIF\r\n" + closingBoundary();
  EXPECT_EQ(maskBoundary(captured(0)), header(body.size() + 4 * 35) + body);
}

TEST_F(RequestOnTheWire, TwoRunsOfOneObjectSendTheSameRequestOnTwoConnections) {
  httptest::writeFile(dir.file("p.png"), httptest::patternBytes(3000, 4));
  upload.addParam("user", "abc");
  upload.addFileReference("image", dir.file("p.png").c_str());
  expectConnections(2);
  ASSERT_TRUE(upload.blockingUpload());
  ASSERT_TRUE(upload.blockingUpload());
  EXPECT_EQ(peer.connectionsAccepted(), 2);
  EXPECT_EQ(maskBoundary(captured(0)), maskBoundary(captured(1)));
  EXPECT_TRUE(peer.clientClosed(0)) << "each run closes its connection";
}

}  // namespace
