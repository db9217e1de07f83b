// The request as the writer hands it to its sink: the pieces it writes, and
// every way the writer can fail before or while sending.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "component/http/http_upload.h"
#include "component/http/http_upload_impl.h"
#include "component/net/net_test_util.h"
#include "component/net/progress_monitor.h"
#include "http_test_util.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace {

using component::HttpUploadImpl;
using httptest::CaptureSink;
using httptest::logText;
using testsupport::writeFileBytes;

// The Content-Length announced must equal the bytes after the header's end.
void expectExactContentLength(const std::string& request) {
  const size_t end = request.find("\r\n\r\n");
  ASSERT_NE(end, std::string::npos);
  const size_t at = request.find("Content-Length: ");
  ASSERT_LT(at, end);
  const uint64_t announced = std::stoull(request.substr(at + 16, request.find("\r\n", at) - at - 16));
  EXPECT_EQ(announced, request.size() - end - 4);
}

class RequestWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    upload.setHostname("upload.kestrova.test");
    upload.setPath("/upload.php");
    up.setByteSinkForTesting(&sink);
  }
  void addFile(const char* field, const std::string& path) { upload.addFileReference(field, path.c_str()); }
  std::string send() {
    const bool ok = up.sendRequest();
    EXPECT_FALSE(ok) << "no connection: the reply cannot be read";
    return sink.bytes;
  }

  testsupport::TempDir dir;
  component::HttpUpload upload;
  HttpUploadImpl& up = upload.impl();
  CaptureSink sink;
};

TEST_F(RequestWriter, MissingFilesFailBeforeAnyByteIsSent) {
  writeFileBytes(dir.file("present.jpg"), "x");
  upload.addParam("user", "abc");
  addFile("one", dir.file("gone1.jpg"));
  addFile("two", dir.file("present.jpg"));
  addFile("three", dir.file("gone2.jpg"));
  EXPECT_FALSE(up.sendRequest());
  EXPECT_EQ(sink.writes, 0u);
  const std::string log = logText(up);
  size_t count = 0;
  for (size_t at = 0; (at = log.find("Failed to get file size information", at)) != std::string::npos; ++at) ++count;
  EXPECT_EQ(count, 2u) << log;
  EXPECT_NE(log.find("filename: " + dir.file("gone1.jpg")), std::string::npos);
  EXPECT_NE(log.find("filename: " + dir.file("gone2.jpg")), std::string::npos);
  EXPECT_EQ(log.find("filename: " + dir.file("present.jpg")), std::string::npos);
  EXPECT_NE(log.find("currentDir: "), std::string::npos);
  EXPECT_EQ(log.find("currentDir: ", log.find("currentDir: ") + 1), std::string::npos) << "one currentDir entry";
  EXPECT_EQ(up.unreadableFiles().size(), 2u);
}

TEST_F(RequestWriter, FileOf4GiBFailsWithItsReason) {
#ifdef _WIN32
  GTEST_SKIP() << "a 4 GiB file is not sparse there";
#endif
  const std::string big = dir.file("huge.bin");
  writeFileBytes(big, "");
  std::error_code ec;
  std::filesystem::resize_file(big, (uint64_t(1) << 32) + 5, ec);  // sparse: no disk space used
  if (ec) GTEST_SKIP() << "cannot make a sparse 4 GiB file here: " << ec.message();
  addFile("image", big);
  EXPECT_FALSE(up.sendRequest());
  EXPECT_EQ(sink.writes, 0u);
  const std::string log = logText(up);
  EXPECT_NE(log.find("Failed to get file size information"), std::string::npos);
  EXPECT_NE(log.find("4 GiB or larger"), std::string::npos) << log;
  EXPECT_NE(log.find("fileSize: 4294967301"), std::string::npos) << log;
}

TEST_F(RequestWriter, FileDataGoesOutIn2048ByteChunks) {
  const std::string data = httptest::patternBytes(5000, 3);
  writeFileBytes(dir.file("d.bin"), data);
  addFile("image", dir.file("d.bin"));
  std::vector<size_t> sizes;
  size_t before = 0;
  sink.onWrite = [&](size_t) {
    sizes.push_back(sink.bytes.size() - before);
    before = sink.bytes.size();
  };
  send();
  sizes.push_back(sink.bytes.size() - before);
  // header, params (empty), part header, 2048, 2048, 904, CRLF, "--", boundary, "--\r\n"
  ASSERT_EQ(sizes.size(), 11u);
  EXPECT_EQ(sizes[4], 2048u);
  EXPECT_EQ(sizes[5], 2048u);
  EXPECT_EQ(sizes[6], 904u);
  EXPECT_EQ(sizes[9], 43u);
}

TEST_F(RequestWriter, WithoutASinkNothingIsAttempted) {
  up.setByteSinkForTesting(nullptr);
  EXPECT_FALSE(up.sendRequest());
  EXPECT_NE(logText(up).find("Internal Error: No output object for upload."), std::string::npos);
}

struct ShortWriteCase {
  int failAt;
  const char* message;
};

class RequestWriterShortWrite : public RequestWriter, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(RequestWriterShortWrite, LogsWhichPieceFailed) {
  writeFileBytes(dir.file("f.jpg"), "0123456789");
  upload.addParam("user", "abc");
  addFile("image", dir.file("f.jpg"));
  sink.failAtWrite = GetParam().failAt;
  EXPECT_FALSE(up.sendRequest());
  const std::string log = logText(up);
  EXPECT_NE(log.find(std::string("  ") + GetParam().message + "\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Fetching HTTP response..."), std::string::npos);
  EXPECT_EQ(sink.writes, size_t(GetParam().failAt) + 1) << "nothing is written after a failure";
  if (GetParam().failAt == 0) {
    EXPECT_NE(log.find("headerSize: "), std::string::npos);
    EXPECT_NE(log.find("numWritten: 0"), std::string::npos);
  }
}

// Writes: 0 header, 1 params, 2 part header, 3 data, 4 CRLF, 5 "--", 6 boundary, 7 "--\r\n".
INSTANTIATE_TEST_SUITE_P(EveryWrite, RequestWriterShortWrite,
                         ::testing::Values(ShortWriteCase{0, "Failed to write HTTP header to output"},
                                           ShortWriteCase{1, "Failed to write params to output"},
                                           ShortWriteCase{2, "Failed to write to output."},
                                           ShortWriteCase{3, "Failed to send file data."},
                                           ShortWriteCase{4, "Failed to write to output.."},
                                           ShortWriteCase{5, "Failed to write to output..."},
                                           ShortWriteCase{6, "Failed to write to output...."},
                                           ShortWriteCase{7, "Failed to write to output....."}));

TEST_F(RequestWriter, FileThatShrinksWhileSentFailsTheRequest) {
  const std::string path = dir.file("shrinking.jpg");
  writeFileBytes(path, httptest::patternBytes(10000, 5));
  addFile("image", path);
  sink.onWrite = [&](size_t index) {
    if (index == 2) std::filesystem::resize_file(path, 3000);  // after the sizes were taken
  };
  EXPECT_FALSE(up.sendRequest());
  const std::string log = logText(up);
  EXPECT_NE(log.find("File became shorter while it was sent"), std::string::npos) << log;
  EXPECT_NE(log.find("announcedSize: 10000"), std::string::npos);
  EXPECT_NE(log.find("sentSize: 3000"), std::string::npos);
  EXPECT_EQ(log.find("Fetching HTTP response..."), std::string::npos);
  EXPECT_EQ(sink.bytes.find("--\r\n", sink.bytes.size() - 4), std::string::npos) << "no closing boundary";
}

TEST_F(RequestWriter, FileThatGrowsWhileSentSendsOnlyTheAnnouncedSize) {
  const std::string path = dir.file("growing.jpg");
  const std::string data = httptest::patternBytes(5000, 6);
  writeFileBytes(path, data);
  addFile("image", path);
  sink.onWrite = [&](size_t index) {
    if (index == 2) writeFileBytes(path, data + std::string(7000, 'Z'));
  };
  const std::string request = send();
  expectExactContentLength(request);
  EXPECT_NE(request.find(data + "\r\n--"), std::string::npos);
  EXPECT_EQ(request.find(std::string(16, 'Z')), std::string::npos) << "nothing of what was added";
}

uint32_t g_fakeTick = 1000;
uint32_t fakeTick() { return g_fakeTick += 100; }

TEST_F(RequestWriter, CallbackCanAbortBetweenChunks) {
  const std::string data = httptest::patternBytes(20 * 2048, 7);
  writeFileBytes(dir.file("big.jpg"), data);
  addFile("image", dir.file("big.jpg"));
  nettest::CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  up.setProgressCallbackForTesting(&callback);
  component::ProgressMonitor::setTickSourceForTesting(&fakeTick);
  const bool ok = up.sendRequest();
  component::ProgressMonitor::setTickSourceForTesting(nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(callback.heartbeats, 1);
  EXPECT_NE(logText(up).find("Aborted by application"), std::string::npos);
  // 100 ms per tick and a 250 ms heartbeat: the third chunk triggers it.
  const size_t dataStart = sink.bytes.find("image/jpeg\r\n\r\n") + 14;
  EXPECT_EQ(sink.bytes.size() - dataStart, 3u * 2048);
}

}  // namespace
