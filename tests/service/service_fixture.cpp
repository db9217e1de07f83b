#include "service/service_fixture.h"

#include "platform/clock.h"
#include "platform/sockets.h"

namespace testsupport {

std::string httpReply(const std::string& body, const std::string& status) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml; charset=UTF-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string chunkedReply(const std::string& body, size_t chunkSize) {
  static const char kHex[] = "0123456789abcdef";
  std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (size_t i = 0; i < body.size(); i += chunkSize) {
    const std::string piece = body.substr(i, chunkSize);
    std::string size;
    for (size_t n = piece.size(); n; n /= 16) size.insert(size.begin(), kHex[n % 16]);
    reply += size + "\r\n" + piece + "\r\n";
  }
  return reply + "0\r\n\r\n";
}

ServiceTest::ServiceTest() : desktop_(std::make_shared<ScriptedDesktop>()) {
  ensureSocketsStarted();
  state_ = std::make_unique<app::AppState>(desktop_);
}

ServiceTest::~ServiceTest() {
  state_.reset();
  // A version-check thread still running would write into the next test's folder.
  EXPECT_TRUE(waitForThreadsToLetGo(5000));
}

void ServiceTest::useService(uint16_t port) {
  state_->service.host = "127.0.0.1";
  state_->service.port = port;
}

bool ServiceTest::waitForThreadsToLetGo(uint32_t ms) {
  const uint32_t start = platform::tickCount();
  const long others = state_ ? 1 : 0;  // the state's own reference
  while (desktop_.use_count() > 1 + others) {
    if (platform::tickCount() - start >= ms) return false;
    platform::sleepMs(5);
  }
  return true;
}

RecordedBox ServiceTest::onlyBox() const {
  const std::vector<RecordedBox> boxes = desktop_->boxes();
  EXPECT_EQ(boxes.size(), 1u);
  if (boxes.empty()) return RecordedBox{"<none>", "<none>", app::MessageButtons::kOk, app::MessageAnswer::kOk, 0, 0, {}};
  return boxes.front();
}

}  // namespace testsupport
