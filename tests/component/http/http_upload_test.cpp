// One upload through the public object against a scripted loopback peer: the
// request byte for byte (random boundary masked), connects that fail, files
// that cannot be read or change while they are sent, and how sending ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "component/net/net_test_util.h"
#include "http_test_util.h"
#include "platform/clock.h"
#include "platform/western_code_set.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

using httptest::logText;

// The service names the path: words that once served the header as placeholders
// must go out as they are.
constexpr const char* kPath = "/upload/THE_LENGTH/api.php?x=THE_BOUNDARY&h=THE_HOST&p=THE_PATH";
constexpr const char* kEnd = "--BOUNDARY--\r\n";

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string field(const std::string& name, const std::string& value) {
  return "--BOUNDARY\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

// A file part with its data; `type` empty means no Content-Type line.
std::string file(const std::string& field, const std::string& name, const std::string& type, const std::string& data) {
  return "--BOUNDARY\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + name + "\"\r\n" +
         (type.empty() ? "" : "Content-Type: " + type + "\r\n") + "\r\n" + data + "\r\n";
}

// A form field, or a file of the test's folder when `fileName` is given (one
// with '/' is reached through forward slashes).
struct Item {
  std::string field, fileName, bytes;
};
Item param(const char* name, const char* value) { return {name, "", value}; }

// Texts in the ANSI code set go out as UTF-8: Windows-1252 here.
class Upload : public ::testing::Test {
 protected:
  void SetUp() override { prepare(up, {}); }
  void prepare(component::HttpUpload& upload, const std::vector<Item>& items) {
    upload.setHostname("127.0.0.1");
    upload.setPath(kPath);
    upload.setPort(peer.port());
    for (const Item& i : items) {
      if (i.fileName.empty()) upload.addParam(i.field.c_str(), i.bytes.c_str());
      if (!i.fileName.empty()) addFile(i.fileName, i.bytes, upload, i.field.c_str());
    }
  }
  std::string addFile(const std::string& name, const std::string& bytes, component::HttpUpload& upload,
                      const char* field = "image") {
    const std::string path = dir.path() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testsupport::writeFileBytes(path, bytes);
    upload.addFileReference(field, name.find('/') == std::string::npos ? dir.file(name).c_str() : path.c_str());
    return path;
  }
  // The peer's script for one request: read it (when `slow`, only after 300 ms
  // of reading nothing), answer, wait for the client to close.
  void expectRequest(bool slow = false) {
    if (requests++) peer.nextConnection();
    if (slow) peer.reading(false).pause(300).reading(true);
    peer.receiveUntil("--\r\n").send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n<ok/>").receiveUntilClosed();
  }
  // The request received on connection `i` must be `body` behind the header,
  // which announces the length of what follows it; returns that length.
  size_t expectReceived(size_t i, const std::string& body) {
    const std::string request = peer.received(i);
    const size_t length = request.size() - (request.find("\r\n\r\n") + 4);
    const size_t at = request.find("boundary=") + 9;
    const std::string boundary = request.substr(at, request.find("\r\n", at) - at);
    EXPECT_EQ(boundary.size(), 43u);
    std::string masked;
    size_t from = 0;
    for (size_t b; (b = request.find(boundary, from)) != std::string::npos; from = b + boundary.size()) {
      masked.append(request, from, b - from).append("BOUNDARY");
    }
    const std::string header =
        std::string("POST ") + kPath +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: QuillonUpload/2.0 (https://flingpost.kestrova.com)\r\n"
        "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,"
        "*/*;q=0.5\r\n"
        "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\n"
        "Content-Type: multipart/form-data; boundary=BOUNDARY\r\nContent-Length: " +
        std::to_string(length) + "\r\n\r\n";
    EXPECT_TRUE(masked.append(request, from) == header + body) << masked.substr(0, 1000);
    return length;
  }

  testsupport::TempDir dir;
  testsupport::LoopbackPeer peer;
  fptest::WesternEnv western;
  component::HttpUpload up{western};
  int requests = 0;
};

TEST_F(Upload, RequestOnTheWireHasFieldsThenFilesWithTheirTypes) {
  const std::string jpeg = httptest::patternBytes(1000, 21);
  const std::string large = httptest::patternBytes(8 * 1024 * 1024, 22);
  const struct {
    const char* name;
    std::vector<Item> items;
    std::string body;
    size_t contentLength;  // 0: as the body implies
    int runs;              // of one object: the same request again, on a connection of its own
    bool slowReader;
  } cases[] = {
      {"a 1000-byte jpeg added before a field", {{"image", "cat.JPG", jpeg}, param("user", "abc")},
       field("user", "abc") + file("image", "cat.JPG", "image/jpeg", jpeg) + kEnd, 1291, 2, false},
      {"no fields; no dot, unknown extension, forward slashes, empty file",
       {{"plain", "Makefile", "all:\n"}, {"odd", "shot.webp", "RIFF"}, {"image", "sub/pic.gif", "GIF89a"},
        {"empty", "empty.png", ""}},
       file("plain", "Makefile", "", "all:\n") + file("odd", "shot.webp", "application/octet-stream", "RIFF") +
           file("image", "pic.gif", "image/gif", "GIF89a") + file("empty", "empty.png", "image/png", "") + kEnd,
       0, 1, false},
      {"no files; an empty value, one in the ANSI code set", {param("user", "caf\xE9"), param("thumbsize", "")},
       field("user", "caf\xC3\xA9") + field("thumbsize", "") + kEnd, 0, 1, false},
      {"nothing", {}, kEnd, 49, 1, false},
      {"8 MiB to a server that reads nothing for 300 ms", {{"image", "large.png", large}},
       file("image", "large.png", "image/png", large) + kEnd, 0, 1, true},
#ifndef _WIN32  // such file names cannot exist on Windows
      {"quote and line breaks in a file name", {{"image", "a\"b\rc\nd.jpg", "12345"}},
       file("image", "a%22b%0Dc%0Ad.jpg", "image/jpeg", "12345") + kEnd, 0, 1, false},
#endif
  };
  for (const auto& c : cases) {
    for (int run = 0; run < c.runs; ++run) expectRequest(c.slowReader);
  }
  peer.start(3000);
  for (const auto& c : cases) {
    component::HttpUpload one(western);
    prepare(one, c.items);
    for (int run = 0; run < c.runs; ++run) EXPECT_TRUE(one.blockingUpload()) << c.name;
  }
  ASSERT_TRUE(peer.waitDone(5000));
  size_t connection = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int run = 0; run < c.runs; ++run) {
      const size_t length = expectReceived(connection, c.body);
      if (c.contentLength) {
        EXPECT_EQ(length, c.contentLength);
      }
      EXPECT_TRUE(peer.clientClosed(connection++)) << "each run closes its connection";
    }
  }
}

TEST(UploadConnect, FailedConnectsSayWhyWithinTheirTimeLimit) {
  component::HttpUpload nameless;
  EXPECT_FALSE(nameless.blockingUpload());
  EXPECT_EQ(logText(nameless), "QuillonLog:\r\n  BlockingUpload:\r\n    Hostname is empty\r\n");

  const uint16_t refused = testsupport::closedLoopbackPort();
  testsupport::UnansweringListener silent;  // its queue is full: connects get no answer
  const struct {
    bool unanswered;
    uint32_t limitMs;  // the connect's time limit (0: the default)
    int callback;      // 0: none; 1: one that follows; 2: one that stops at the second heartbeat
    uint32_t minMs, maxMs;
    size_t retries;
    std::vector<const char*> logHas;
  } cases[] = {
      {false, 0, 0, 0, 900, 0, {"WSAECONNREFUSED", "timeoutMs: 30000"}},
      {false, 0, 1, 0, 900, 0, {"Connect function failed\r\n    SocketError: WSAECONNREFUSED", "timeoutMs: 30000"}},
      {true, 300, 0, 290, 900, 1, {"socket is not ready for writing", "timeoutMs: 300"}},
      {true, 300, 1, 290, 600, 0, {"WSAEWOULDBLOCK", "Check to make sure the port is not blocked by a firewall."}},
      {true, 3000, 2, 0, 1000, 0,
       {"socket operation aborted by application callback", "Connection attempt aborted by application"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.unanswered ? "unanswered" : "refused") + ", callback " + std::to_string(c.callback));
    if (c.unanswered && !silent.ready()) continue;  // this system refuses connects to a full queue
    component::HttpUpload up;
    up.setHostname("127.0.0.1");
    up.setPort(c.unanswered ? silent.port() : refused);
    if (c.limitMs) up.setConnectTimeoutMs(c.limitMs);
    nettest::CountingCallback callback;
    callback.abortAtHeartbeat = c.callback == 2 ? 2 : 0;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(up.blockingUpload(c.callback ? &callback : nullptr));
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LT(elapsed, c.maxMs);
    const std::string log = logText(up), port = std::to_string(c.unanswered ? silent.port() : refused);
    EXPECT_EQ(occurrences(log, "to remote host:port\r\n    hostname: 127.0.0.1\r\n    port: " + port), 1u) << log;
    EXPECT_EQ(occurrences(log, "trying again"), c.retries);
    for (const char* entry : c.logHas) EXPECT_NE(log.find(entry), std::string::npos) << log;
  }
}

TEST_F(Upload, UnreadableFilesFailTheRunBeforeAnyByteIsSent) {
  peer.receiveUntilClosed(3000);
  peer.start();
  up.addParam("user", "abc");
  up.addFileReference("image", dir.file("gone1.jpg").c_str());
  addFile("present.jpg", "x", up);
  up.addFileReference("image", dir.file("gone2.jpg").c_str());
  size_t unreadable = 2;
#ifndef _WIN32  // sparse there, so no disk space is used
  std::error_code ec;
  std::filesystem::resize_file(addFile("huge.bin", "", up), (uint64_t(1) << 32) + 5, ec);
  if (!ec) ++unreadable;  // too large for the request's 32-bit sizes
#endif
  EXPECT_FALSE(up.blockingUpload());
  ASSERT_TRUE(peer.waitDone(3000));
  EXPECT_EQ(peer.received(), "");
  const std::string log = logText(up);
  EXPECT_EQ(occurrences(log, "Failed to get file size information\r\n"), unreadable) << log;
  EXPECT_EQ(occurrences(log, "filename: " + dir.file("gone")), 2u);
  EXPECT_EQ(occurrences(log, "currentDir: "), 1u);
  EXPECT_EQ(occurrences(log, "fileSize: 4294967301"), unreadable - 2);
}

// A file that grew after its size was announced is cut there; one that shrank
// fails the request, which would otherwise leave the server waiting for bytes
// that never come. Both also when the file changes after part of it was read.
TEST_F(Upload, AFileThatChangesWhileSentIsCutAtItsSizeOrFailsTheRequest) {
  const std::string large = httptest::patternBytes(1024 * 1024, 5), grown(8000, 'g');
  const struct {
    std::string before, bytes;
    int atPercentCall;
    bool append;
    std::string sent;  // empty: the request fails
  } cases[] = {
      {std::string(5000, 's'), std::string(3000, 's'), 1, false, ""},
      {large, std::string(100000, 's'), 5, false, ""},
      {std::string(5000, 's'), grown, 1, false, grown.substr(0, 5000)},
      {large, grown, 5, true, large},
  };
  for (size_t i = 0; i < std::size(cases); ++i) expectRequest();
  peer.start();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(std::to_string(c.before.size()) + (c.sent.empty() ? " shrinks" : " grows"));
    component::HttpUpload one(western);
    prepare(one, {});
    const std::string path = addFile("changing.jpg", c.before, one);
    // Call 1 comes while the header is sent, before the file is opened; later
    // ones while its data is.
    nettest::CountingCallback change;
    change.onPercentCall = [&](int call) {
      if (call != c.atPercentCall) return;
      std::ofstream(path, std::ios::binary | (c.append ? std::ios::app : std::ios::trunc)) << c.bytes;
    };
    EXPECT_EQ(one.blockingUpload(&change), !c.sent.empty()) << logText(one);
    if (!c.sent.empty()) {
      expectReceived(i, file("image", "changing.jpg", "image/jpeg", c.sent) + kEnd);
      continue;
    }
    EXPECT_EQ(occurrences(logText(one), "File became shorter while it was sent\r\n    filename: "), 1u);
    EXPECT_EQ(occurrences(logText(one), "announcedSize: " + std::to_string(c.before.size())), 1u);
    EXPECT_EQ(occurrences(peer.received(i), "--\r\n"), 0u) << "no closing boundary";
  }
  EXPECT_TRUE(peer.waitDone(5000));
}

// How sending ends when the caller stops it, or the server stops reading or
// resets. The file is more than the socket buffers of both ends hold, so each
// ending meets the upload mid-body.
TEST_F(Upload, SendingEndsWhenTheCallerStopsItOrTheServerStopsReadingOrResets) {
  const size_t size = 16 * 1024 * 1024;
  const std::string path = addFile("big.jpg", httptest::patternBytes(size, 13), up);
  enum Server { kReads, kStopsReading, kResets };
  const struct {
    const char* name;
    Server server;
    int stopAtPercentCall;  // the callback's stop answers (0: none)
    uint32_t stopAfterMs, idleLimitMs, maxMs;  // the idle limit 0: the default
  } cases[] = {
      {"stopped at the fifth percent", kReads, 5, 0, 0, 2000},
      {"the server resets", kResets, 0, 0, 0, 2000},
      // The server plays one connection at a time: these come last, as each
      // holds it for a while after the upload has ended.
      {"stopped while the server does not read", kStopsReading, 0, 400, 0, 900},
      {"the server stops reading", kStopsReading, 0, 0, 300, 2500},
  };
  for (const auto& c : cases) {
    if (&c != cases) peer.nextConnection();
    if (c.server == kReads) peer.receiveUntilClosed();
    if (c.server == kStopsReading) peer.reading(false).stall(800);
    if (c.server == kResets) peer.receiveUntil("image/jpeg\r\n\r\n").reset();
  }
  peer.start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    component::HttpUpload one(western);
    prepare(one, {});
    one.addFileReference("image", path.c_str());
    one.setIdleLimitMs(c.idleLimitMs);
    nettest::CountingCallback counting;
    counting.abortAtPercentCall = c.stopAtPercentCall;
    counting.abortAfterMs = c.stopAfterMs;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(one.blockingUpload(&counting));
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, std::max(c.stopAfterMs, c.idleLimitMs));
    EXPECT_LT(elapsed, c.maxMs);
    EXPECT_EQ(occurrences(logText(one), "Failed to send file data."), 1u) << logText(one);
    if (c.stopAtPercentCall) {
      EXPECT_EQ(counting.percents, std::vector<int>({1, 2, 3, 4, 5})) << "every step, as the bytes are taken";
    }
  }
  ASSERT_TRUE(peer.waitDone(5000));
  EXPECT_LT(peer.received(0).size(), size / 2) << "the upload stopped early";
  EXPECT_TRUE(peer.clientClosed(0));
}

}  // namespace
