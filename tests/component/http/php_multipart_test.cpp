// The request taken apart by an independent multipart parser, PHP's own: every
// field must arrive, and every file with exactly the bytes of the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "component/http/http_upload.h"
#include "http_test_util.h"
#include "php_server.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class PhpParser : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::ensureSocketsStarted();
    if (!server.running()) GTEST_SKIP() << "PHP's development server is not available";
    upload.setHostname("127.0.0.1");
    upload.setPort(server.port());
    upload.setPath("/multipart_echo.php");
  }
  // Adds `bytes` as file `name` under `field`, naming the original for the script.
  void addFile(const std::string& field, const std::string& name, const std::string& bytes) {
    const std::string path = dir.file(name);
    testsupport::writeFileBytes(path, bytes);
    upload.addFileReference(field.c_str(), path.c_str());
    upload.addParam(("original_" + field).c_str(), path.c_str());
  }
  std::vector<std::string> run() {
    EXPECT_TRUE(upload.blockingUpload()) << httptest::logText(upload);
    EXPECT_EQ(upload.statusCode(), 200);
    component::ByteData body;
    upload.getResponseBody(body);
    return lines(std::string(reinterpret_cast<const char*>(body.getData()), body.getSize()));
  }
  static bool has(const std::vector<std::string>& reply, const std::string& line) {
    return std::find(reply.begin(), reply.end(), line) != reply.end();
  }
  static std::string fileLine(const std::vector<std::string>& reply, const std::string& field) {
    for (const auto& l : reply) {
      if (l.rfind("FILE " + field + " ", 0) == 0) return l;
    }
    return "";
  }
  // The digest of what arrived equals that of the original.
  static void expectIntact(const std::string& line) {
    const size_t md5 = line.find(" md5=");
    const size_t original = line.find(" original=");
    ASSERT_NE(md5, std::string::npos) << line;
    ASSERT_NE(original, std::string::npos) << line;
    const std::string received = line.substr(md5 + 5, original - md5 - 5);
    EXPECT_EQ(received.size(), 32u) << line;
    EXPECT_EQ(received, line.substr(original + 10)) << line;
  }

  httptest::PhpServer server{FP_TESTS_DIR "/component/http"};
  testsupport::TempDir dir;
  component::HttpUpload upload;
};

TEST_F(PhpParser, SeesEveryFieldAndTextBinaryAndEmptyFilesIntact) {
  upload.addParam("user", "demo");
  upload.addParam("hashed_password", "fe01ce2a7fbac8fafaed7c982a04e229");
  upload.addParam("aid", "4711");
  upload.addParam("type", "upload");
  upload.addParam("thumbsize", "");
  addFile("notes", "notes.txt", "line one\r\nline two\n--not a boundary--\r\n");
  addFile("image", "photo.jpg", httptest::patternBytes(5 * 1024 * 1024, 77));
  addFile("empty", "empty.png", "");

  const auto reply = run();
  for (const char* field : {"user=demo", "hashed_password=fe01ce2a7fbac8fafaed7c982a04e229", "aid=4711",
                            "type=upload", "thumbsize="}) {
    EXPECT_TRUE(has(reply, std::string("POST ") + field)) << field;
  }
  const struct {
    const char* field;
    const char* seen;
  } files[] = {
      {"notes", " name=notes.txt type=text/plain size=39 error=0 "},
      {"image", " name=photo.jpg type=image/jpeg size=5242880 error=0 "},
      {"empty", " name=empty.png type=image/png size=0 error=0 "},
  };
  for (const auto& f : files) {
    const std::string line = fileLine(reply, f.field);
    EXPECT_NE(line.find(f.seen), std::string::npos) << line;
    expectIntact(line);
  }
}

TEST_F(PhpParser, FileNameCannotInjectHeaderText) {
#ifdef _WIN32
  GTEST_SKIP() << "such file names cannot exist on Windows";
#else
  addFile("image", "evil\"\r\nX-Injected: yes\r\n\r\nx.jpg", "JPEGDATA");
  upload.addParam("user", "demo");
  const auto reply = run();
  const std::string line = fileLine(reply, "image");
  EXPECT_NE(line.find(" type=image/jpeg size=8 error=0 "), std::string::npos) << line;
  EXPECT_NE(line.find("name=evil%22%0D%0AX-Injected: yes%0D%0A%0D%0Ax.jpg "), std::string::npos) << line;
  expectIntact(line);
  EXPECT_TRUE(has(reply, "POST user=demo"));
#endif
}

}  // namespace
