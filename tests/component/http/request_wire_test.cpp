// Whole requests as a peer on the loopback interface receives them, compared
// byte for byte with the random boundary masked, sent through the public
// HttpUpload object.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "component/http/http_upload.h"
#include "http_test_util.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

using httptest::closingBoundary;
using httptest::fieldPart;
using httptest::filePartHeader;
using httptest::maskBoundary;
using testsupport::LoopbackPeer;

// The service names the path: words that once served the header as placeholders
// must go out as they are.
constexpr const char* kPath = "/upload/THE_LENGTH/api.php?x=THE_BOUNDARY&h=THE_HOST&p=THE_PATH";

// A form field, or a file of the temporary folder when `fileName` is given. A
// name with '/' is reached through forward slashes, others with the system's
// separator.
struct Item {
  std::string field, fileName, bytes;
};
Item param(const char* name, const char* value) { return {name, "", value}; }
Item file(const char* field, const char* fileName, const std::string& bytes) { return {field, fileName, bytes}; }

class RequestOnTheWire : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::ensureSocketsStarted(); }

  // Peer scripts for `n` uploads; each request ends with "--\r\n".
  void expectConnections(int n) {
    for (int i = 0; i < n; ++i) {
      if (i) peer.nextConnection();
      peer.receiveUntil("--\r\n", 3000).send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok").receiveUntilClosed(3000);
    }
    peer.start(3000);
  }
  std::unique_ptr<component::HttpUpload> upload(const std::vector<Item>& items) {
    auto up = std::make_unique<component::HttpUpload>();
    up->setHostname("127.0.0.1");
    up->setPath(kPath);
    up->setPort(peer.port());
    for (const Item& item : items) {
      if (item.fileName.empty()) {
        up->addParam(item.field.c_str(), item.bytes.c_str());
        continue;
      }
      std::string path = dir.file(item.fileName);
      if (item.fileName.find('/') != std::string::npos) {
        path = dir.path() + "/" + item.fileName;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      }
      testsupport::writeFileBytes(path, item.bytes);
      up->addFileReference(item.field.c_str(), path.c_str());
    }
    return up;
  }
  // The masked request, with the header expected for the Content-Length it
  // announced, which must be the length of what follows the header.
  std::string expectedFor(const std::string& request, const std::string& body) {
    const size_t bodyStart = request.find("\r\n\r\n") + 4;
    return httptest::expectedHeader("127.0.0.1", kPath, request.size() - bodyStart) + body;
  }

  testsupport::TempDir dir;
  LoopbackPeer peer;
};

TEST_F(RequestOnTheWire, FieldsThenFilesWithTheirTypes) {
  const std::string jpeg = httptest::patternBytes(1000, 21);
  const struct {
    const char* name;
    std::vector<Item> items;
    std::string body;
    int contentLength;  // -1: as the masked body implies
  } cases[] = {
      {"one field and a 1000-byte jpeg", {param("user", "abc"), file("image", "cat.JPG", jpeg)},
       fieldPart("user", "abc") + filePartHeader("image", "cat.JPG", "image/jpeg") + jpeg + "\r\n" + closingBoundary(),
       1291},
      {"no fields; no dot, unknown extension, forward slashes",
       {file("plain", "Makefile", "all:\n"), file("odd", "shot.webp", "RIFF"), file("image", "sub/pic.gif", "GIF89a")},
       filePartHeader("plain", "Makefile", "") + "all:\n\r\n" +
           filePartHeader("odd", "shot.webp", "application/octet-stream") + "RIFF\r\n" +
           filePartHeader("image", "pic.gif", "image/gif") + "GIF89a\r\n" + closingBoundary(),
       -1},
      {"no files", {param("user", "abc"), param("thumbsize", "")},
       fieldPart("user", "abc") + fieldPart("thumbsize", "") + closingBoundary(), -1},
      {"nothing", {}, closingBoundary(), 49},
      {"file added first", {file("image", "a.gif", "GIF"), param("user", "abc"), param("aid", "12")},
       fieldPart("user", "abc") + fieldPart("aid", "12") + filePartHeader("image", "a.gif", "image/gif") + "GIF\r\n" +
           closingBoundary(),
       -1},
      {"file added last", {param("user", "abc"), param("aid", "12"), file("image", "a.gif", "GIF")},
       fieldPart("user", "abc") + fieldPart("aid", "12") + filePartHeader("image", "a.gif", "image/gif") + "GIF\r\n" +
           closingBoundary(),
       -1},
#ifndef _WIN32  // such file names cannot exist on Windows
      {"quote and line breaks in a file name", {file("image", "a\"b\rc\nd.jpg", "12345")},
       filePartHeader("image", "a%22b%0Dc%0Ad.jpg", "image/jpeg") + "12345\r\n" + closingBoundary(), -1},
#endif
  };
  expectConnections(int(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    auto up = upload(cases[i].items);
    ASSERT_TRUE(up->blockingUpload()) << httptest::logText(*up);
    component::ByteData reply;
    up->getResponseBody(reply);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.getData()), reply.getSize()), "ok");
  }
  ASSERT_TRUE(peer.waitDone(3000));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string request = peer.received(i);
    EXPECT_EQ(httptest::boundaryOf(request).size(), 43u);
    EXPECT_EQ(maskBoundary(request), expectedFor(request, cases[i].body));
    if (cases[i].contentLength >= 0) {
      EXPECT_NE(request.find("\r\nContent-Length: " + std::to_string(cases[i].contentLength) + "\r\n"),
                std::string::npos);
    }
  }
}

TEST_F(RequestOnTheWire, TwoRunsOfOneObjectSendTheSameRequestOnTwoConnections) {
  expectConnections(2);
  auto up = upload({param("user", "abc"), file("image", "p.png", httptest::patternBytes(3000, 4))});
  ASSERT_TRUE(up->blockingUpload());
  ASSERT_TRUE(up->blockingUpload());
  ASSERT_TRUE(peer.waitDone(3000));
  EXPECT_EQ(peer.connectionsAccepted(), 2);
  EXPECT_EQ(maskBoundary(peer.received(0)), maskBoundary(peer.received(1)));
  EXPECT_TRUE(peer.clientClosed(0)) << "each run closes its connection";
}

}  // namespace
