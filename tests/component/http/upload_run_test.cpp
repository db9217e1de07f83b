// The run of one upload: its failures before, during and after the connect,
// aborting through a callback, and the public objects around it.
#include <gtest/gtest.h>

#include <string>

#include "component/http/http_upload.h"
#include "component/http/http_upload_impl.h"
#include "component/net/net_test_util.h"
#include "http_test_util.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"
#include "support/temp_dir.h"

namespace {

using component::HttpUpload;
using httptest::logText;
using testsupport::MemoryChannel;
using testsupport::MemoryChannelFactory;

void refuseConnects(MemoryChannel& c) { c.setConnectResult(false); }

// An upload of `fileBytes` (when given) to a host served from memory.
class UploadRun : public ::testing::Test {
 protected:
  void prepare(const std::string* fileBytes = nullptr) {
    up.setHostname("upload.kestrova.test");
    if (fileBytes) {
      testsupport::writeFileBytes(dir.file("a.jpg"), *fileBytes);
      up.addFileReference("image", dir.file("a.jpg").c_str());
    }
  }
  testsupport::TempDir dir;
  HttpUpload up;
  nettest::CountingCallback callback;
};

TEST_F(UploadRun, EmptyHostFailsWithoutAnyConnection) {
  MemoryChannelFactory factory("HTTP/1.1 200 OK\r\n\r\n");
  up.setPath("/x");
  EXPECT_FALSE(up.blockingUpload());
  EXPECT_EQ(logText(up), "QuillonLog:\r\n  BlockingUpload:\r\n    Hostname is empty\r\n");
  EXPECT_TRUE(factory.records().empty());
}

TEST_F(UploadRun, RefusedConnectionLogsHostPortAndTimeLimit) {
  up.setHostname("127.0.0.1");
  up.setPort(testsupport::closedLoopbackPort());
  EXPECT_FALSE(up.blockingUpload());
  const std::string log = logText(up);
  EXPECT_NE(log.find("    Failed to connect to remote host:port\r\n    hostname: 127.0.0.1\r\n    port: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("    timeoutMs: 30000\r\n"), std::string::npos);
  EXPECT_NE(log.find("socketLog: "), std::string::npos);
}

TEST_F(UploadRun, DefaultPortIs80AndTheConnectGetsTheRunsSettings) {
  MemoryChannelFactory factory("", {}, refuseConnects);
  prepare();
  EXPECT_FALSE(up.blockingUpload());
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->host, "upload.kestrova.test");
  EXPECT_EQ(factory.records()[0]->port, 80);
  EXPECT_EQ(factory.records()[0]->timeLimitMs, 30000u);
  EXPECT_FALSE(factory.records()[0]->secure);
  EXPECT_NE(logText(up).find("    port: 80\r\n"), std::string::npos);
}

TEST_F(UploadRun, AbortedConnectIsWordedAsSuch) {
  MemoryChannelFactory factory("", {}, refuseConnects);
  prepare();
  callback.abortedSoFar = true;
  EXPECT_FALSE(up.blockingUpload(&callback));
  const std::string log = logText(up);
  EXPECT_LT(log.find("Connection attempt aborted by application"), log.find("Failed to connect to remote host:port"))
      << log;
}

TEST_F(UploadRun, MissingFileFailsBeforeAnyByteIsSent) {
  MemoryChannelFactory factory("HTTP/1.1 200 OK\r\n\r\n");
  prepare();
  up.addParam("user", "abc");
  up.addFileReference("image", dir.file("nowhere.jpg").c_str());
  EXPECT_FALSE(up.blockingUpload());
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->sent, "");
  EXPECT_TRUE(factory.records()[0]->closed) << "the connection is closed at the end of the run";
  EXPECT_NE(logText(up).find("  BlockingUpload:\r\n    Failed to get file size information\r\n    filename: " +
                             dir.file("nowhere.jpg") + "\r\n    currentDir: "),
            std::string::npos)
      << logText(up);
}

TEST_F(UploadRun, SuccessfulRunLeavesItsTrailAndTheBody) {
  MemoryChannelFactory factory("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n<ok/>", {4});
  prepare();
  up.setPath("/u");
  ASSERT_TRUE(up.blockingUpload());
  EXPECT_EQ(up.statusCode(), 200);
  EXPECT_TRUE(up.impl().lastRunSucceeded());
  EXPECT_FALSE(up.impl().inProgress());
  EXPECT_EQ(logText(up), "QuillonLog:\r\n  BlockingUpload:\r\n    Fetching HTTP response...\r\n");
  std::string xml;
  up.lastErrorXml(xml);
  EXPECT_NE(xml.find("<BlockingUpload>"), std::string::npos);

  component::ByteData body;
  ASSERT_NE(body.getData(), nullptr) << "an empty ByteData still gives a valid pointer";
  EXPECT_EQ(body.getSize(), 0u);
  body.appendChar('x');
  body.appendChar('y');
  up.getResponseBody(body);
  body.appendChar(0);
  EXPECT_STREQ(reinterpret_cast<const char*>(body.getData()), "<ok/>") << "earlier bytes are replaced";
}

TEST_F(UploadRun, CallbackFollowsTheWholeRequest) {
  MemoryChannelFactory factory("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  const std::string bytes = httptest::patternBytes(100000, 10);
  prepare(&bytes);
  ASSERT_TRUE(up.blockingUpload(&callback)) << logText(up);
  EXPECT_GT(callback.percentCalls, 10);
  EXPECT_EQ(callback.lastPercent, 100);
}

TEST_F(UploadRun, AbortThroughTheCallbackStopsTheUploadOverLoopback) {
  const size_t size = 4 * 1024 * 1024;
  const std::string bytes = httptest::patternBytes(size, 13);
  prepare(&bytes);
  testsupport::LoopbackPeer peer;
  peer.receiveUntilClosed(5000);
  peer.start(3000);
  up.setHostname("127.0.0.1");
  up.setPort(peer.port());
  callback.abortAtPercentCall = 5;
  EXPECT_FALSE(up.blockingUpload(&callback));
  EXPECT_EQ(callback.percentCalls, 5);
  EXPECT_TRUE(peer.waitDone(3000));
  EXPECT_LT(peer.received().size(), size / 2) << "the upload stopped early";
  EXPECT_TRUE(peer.clientClosed());
  const std::string log = logText(up);
  EXPECT_TRUE(log.find("Failed to send file data.") != std::string::npos ||
              log.find("Aborted by application") != std::string::npos)
      << log;
}

}  // namespace
