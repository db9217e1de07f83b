// The run of one upload: its failures before, during and after the connect,
// aborting through a callback, and the public objects around it.
#include <gtest/gtest.h>

#include <string>

#include "component/http/http_upload.h"
#include "component/http/http_upload_impl.h"
#include "component/net/progress_monitor.h"
#include "http_test_util.h"
#include "platform/sockets.h"
#include "support/loopback_peer.h"
#include "support/memory_channel.h"
#include "support/temp_dir.h"

namespace {

using component::HttpUpload;
using testsupport::LoopbackPeer;

std::string trail(HttpUpload& up) {
  std::string text;
  up.lastErrorText(text);
  return text;
}

// A loopback port that nobody listens on: bound, then closed again.
uint16_t closedPort() {
  uint16_t port = 0;
  platform::SocketHandle s = platform::listenLoopback(&port, 1);
  platform::closeSocketHandle(s);
  return port;
}

TEST(UploadRun, EmptyHostFailsWithoutAnyConnection) {
  testsupport::MemoryChannelFactory factory("HTTP/1.1 200 OK\r\n\r\n");
  HttpUpload up;
  up.setPath("/x");
  EXPECT_FALSE(up.blockingUpload());
  EXPECT_EQ(trail(up), "QuillonLog:\r\n  BlockingUpload:\r\n    Hostname is empty\r\n");
  EXPECT_TRUE(factory.records().empty());
}

TEST(UploadRun, RefusedConnectionLogsHostPortAndTimeLimit) {
  testsupport::ensureSocketsStarted();
  HttpUpload up;
  up.setHostname("127.0.0.1");
  up.setPort(closedPort());
  EXPECT_FALSE(up.blockingUpload());
  const std::string log = trail(up);
  EXPECT_NE(log.find("    Failed to connect to remote host:port\r\n    hostname: 127.0.0.1\r\n    port: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("    timeoutMs: 30000\r\n"), std::string::npos);
  EXPECT_NE(log.find("socketLog: "), std::string::npos);
}

TEST(UploadRun, DefaultPortIs80AndTheConnectGetsTheRunsSettings) {
  testsupport::MemoryChannelFactory factory("", {}, [](testsupport::MemoryChannel& c) { c.setConnectResult(false); });
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  EXPECT_FALSE(up.blockingUpload());
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->host, "upload.kestrova.test");
  EXPECT_EQ(factory.records()[0]->port, 80);
  EXPECT_EQ(factory.records()[0]->timeLimitMs, 30000u);
  EXPECT_FALSE(factory.records()[0]->secure);
  EXPECT_NE(trail(up).find("    port: 80\r\n"), std::string::npos);
}

TEST(UploadRun, MissingFileFailsBeforeAnyByteIsSent) {
  testsupport::MemoryChannelFactory factory("HTTP/1.1 200 OK\r\n\r\n");
  testsupport::TempDir dir;
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  up.addParam("user", "abc");
  up.addFileReference("image", dir.file("nowhere.jpg").c_str());
  EXPECT_FALSE(up.blockingUpload());
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->sent, "");
  EXPECT_TRUE(factory.records()[0]->closed) << "the connection is closed at the end of the run";
  const std::string log = trail(up);
  EXPECT_NE(log.find("  BlockingUpload:\r\n    Failed to get file size information\r\n    filename: " +
                     dir.file("nowhere.jpg") + "\r\n    currentDir: "),
            std::string::npos)
      << log;
}

TEST(UploadRun, SuccessfulRunLeavesItsTrailAndTheBody) {
  testsupport::MemoryChannelFactory factory("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n<ok/>", {4});
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  up.setPath("/u");
  ASSERT_TRUE(up.blockingUpload());
  EXPECT_EQ(up.statusCode(), 200);
  EXPECT_EQ(up.impl().lastRunSucceeded(), true);
  EXPECT_FALSE(up.impl().inProgress());
  EXPECT_EQ(trail(up), "QuillonLog:\r\n  BlockingUpload:\r\n    Fetching HTTP response...\r\n");
  std::string xml;
  up.lastErrorXml(xml);
  EXPECT_NE(xml.find("<BlockingUpload>"), std::string::npos);

  component::ByteData body;
  body.appendChar('x');
  body.appendChar('y');
  up.getResponseBody(body);
  body.appendChar(0);
  EXPECT_STREQ(reinterpret_cast<const char*>(body.getData()), "<ok/>") << "earlier bytes are replaced";
}

TEST(ByteDataObject, FreshObjectGivesAValidEmptyPointer) {
  component::ByteData data;
  ASSERT_NE(data.getData(), nullptr);
  EXPECT_EQ(data.getSize(), 0u);
}

TEST(UploadRun, SendFailureMidwayFailsTheRun) {
  testsupport::TempDir dir;
  httptest::writeFile(dir.file("a.jpg"), httptest::patternBytes(50000, 9));
  testsupport::MemoryChannelFactory factory("HTTP/1.1 200 OK\r\n\r\n", {},
                                            [](testsupport::MemoryChannel& c) { c.failSendAfter(10000); });
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  up.addFileReference("image", dir.file("a.jpg").c_str());
  EXPECT_FALSE(up.blockingUpload());
  EXPECT_NE(trail(up).find("Failed to send file data."), std::string::npos) << trail(up);
  EXPECT_EQ(factory.records()[0]->sent.size(), 10000u);
}

// Counts what the run reports and answers "abort" once `abortAfter` percent
// calls have come.
class CountingCallback : public component::ProgressCallback {
 public:
  explicit CountingCallback(int abortAfter) : abortAfter_(abortAfter) {}
  void percentDone(int percent, bool& abort) override {
    lastPercent = percent;
    abort = ++percentCalls >= abortAfter_;
    aborted = aborted || abort;
  }
  void heartbeat(int, bool& abort) override { abort = aborted; }
  bool wasAborted() override { return aborted; }
  int percentCalls = 0;
  int lastPercent = 0;
  bool aborted = false;

 private:
  int abortAfter_;
};

TEST(UploadRun, CallbackFollowsTheWholeRequest) {
  testsupport::TempDir dir;
  httptest::writeFile(dir.file("a.jpg"), httptest::patternBytes(100000, 10));
  testsupport::MemoryChannelFactory factory("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  up.addFileReference("image", dir.file("a.jpg").c_str());
  CountingCallback callback(1000);
  ASSERT_TRUE(up.blockingUpload(&callback)) << trail(up);
  EXPECT_GT(callback.percentCalls, 10);
  EXPECT_EQ(callback.lastPercent, 100);
}

TEST(UploadRun, AbortThroughTheCallbackStopsTheUploadOverLoopback) {
  testsupport::ensureSocketsStarted();
  testsupport::TempDir dir;
  const size_t size = 4 * 1024 * 1024;
  httptest::writeFile(dir.file("big.jpg"), httptest::patternBytes(size, 13));
  LoopbackPeer peer;
  peer.receiveUntilClosed(5000);
  peer.start(3000);
  HttpUpload up;
  up.setHostname("127.0.0.1");
  up.setPort(peer.port());
  up.addFileReference("image", dir.file("big.jpg").c_str());
  CountingCallback callback(5);
  EXPECT_FALSE(up.blockingUpload(&callback));
  EXPECT_TRUE(callback.aborted);
  EXPECT_TRUE(peer.waitDone(3000));
  EXPECT_LT(peer.received().size(), size / 2) << "the upload stopped early";
  EXPECT_TRUE(peer.clientClosed());
  const std::string log = trail(up);
  EXPECT_TRUE(log.find("Failed to send file data.") != std::string::npos ||
              log.find("Aborted by application") != std::string::npos)
      << log;
}

TEST(UploadRun, AbortedConnectIsWordedAsSuch) {
  testsupport::MemoryChannelFactory factory("", {}, [](testsupport::MemoryChannel& c) { c.setConnectResult(false); });
  CountingCallback callback(1);
  callback.aborted = true;
  HttpUpload up;
  up.setHostname("upload.kestrova.test");
  EXPECT_FALSE(up.blockingUpload(&callback));
  const std::string log = trail(up);
  EXPECT_LT(log.find("Connection attempt aborted by application"), log.find("Failed to connect to remote host:port"))
      << log;
}

}  // namespace
