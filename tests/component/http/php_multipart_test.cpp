// The request taken apart by an independent multipart parser, PHP's own, in the
// local stand-in of the service: every field arrives, and the file with exactly
// its bytes and a name that cannot inject header text.
#include <gtest/gtest.h>

#include <string>

#include "http_test_util.h"
#include "service/password_digest.h"
#include "support/dev_service.h"
#include "support/file_text.h"

namespace {

#ifndef _WIN32  // the stand-in is started by a shell script; such names cannot exist on Windows
TEST(PhpParser, SeesEveryFieldAndTheFileIntact) {
  testsupport::DevService service;
  if (!service.running()) GTEST_SKIP() << "PHP is not available";
  const std::string path = service.stateDir() + "/evil\"\r\nX-Injected: yes\r\n\r\nx.jpg";
  const std::string bytes = httptest::patternBytes(5 * 1024 * 1024, 77) + "\r\n--not a boundary--\r\n";
  testsupport::writeFileBytes(path, bytes);
  component::HttpUpload up;
  up.setHostname("127.0.0.1");
  up.setPort(std::stoi(service.address().substr(service.address().find(':') + 1)));
  up.setPath("/upload.php");
  up.addFileReference("image", path.c_str());
  const struct {
    const char *field, *value;
  } fields[] = {{"user", "demo"}, {"hashed_password", testsupport::DevService::kDigest}, {"aid", "4711"},
                {"type", "file"}, {"thumbsize", ""}};
  for (const auto& f : fields) up.addParam(f.field, f.value);
  ASSERT_TRUE(up.blockingUpload()) << httptest::logText(up);
  const auto log = service.uploadLog();
  ASSERT_EQ(log.size(), 1u);
  for (const auto& f : fields) EXPECT_EQ(testsupport::jsonField(log[0], f.field), f.value) << f.field;
  EXPECT_EQ(testsupport::jsonField(log[0], "filename"), "evil%22%0D%0AX-Injected: yes%0D%0A%0D%0Ax.jpg");
  EXPECT_EQ(testsupport::jsonField(log[0], "content_type"), "image/jpeg");
  EXPECT_EQ(testsupport::jsonField(log[0], "size"), std::to_string(bytes.size()));
  EXPECT_EQ(testsupport::jsonField(log[0], "md5"), service::PasswordDigest().digestText(bytes));
}
#endif

}  // namespace
