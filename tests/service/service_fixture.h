#pragma once
// The service tests' ground: a temporary working folder, a scripted desktop, a
// signed-out state of "alice" pointed at a loopback service, and the three
// service steps run against one scripted reply.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/clock.h"
#include "service/sign_in.h"
#include "service/upload_server.h"
#include "service/version_check.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"

namespace testsupport {

inline std::string httpReply(const std::string& body, const std::string& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

enum class Step { kSignIn, kLookUp, kVersion };
using Texts = std::vector<std::string>;

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    ensureSocketsStarted();
    state_->paceSignIn = false;
    state_->login.username = "alice";
    state_->login.hashedPassword = "5ebe2294ecd0e0f08eab7690d2a6ee69";
  }
  ~ServiceTest() override {
    state_.reset();
    EXPECT_TRUE(threadsLetGo(5000)) << "a version check would write into the next test's folder";
  }

  void useService(uint16_t port) {
    state_->service.host = "127.0.0.1";
    state_->service.port = port;
  }
  bool run(Step step) {
    if (step == Step::kSignIn) return service::signInAndLoadAlbums(*state_);
    if (step == Step::kLookUp) return service::lookUpUploadServer(*state_);
    return service::versionCheckThread(*desktop_, state_->service);
  }
  // Runs `step` against a service that answers `reply` and closes; keeps the request.
  bool answer(Step step, const std::string& reply) {
    LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(reply).close();
    peer.start();
    useService(peer.port());
    const bool ok = run(step);
    peer.waitDone(2000);
    request_ = peer.received();
    return ok;
  }
  // "caption: text" of each box shown since the last call, cut to `cut` bytes.
  Texts newBoxes(size_t cut = std::string::npos) {
    Texts out;
    const std::vector<RecordedBox> all = desktop_->boxes();
    for (; seen_ < all.size(); ++seen_) out.push_back((all[seen_].caption + ": " + all[seen_].text).substr(0, cut));
    return out;
  }
  static Texts one(const std::string& box) { return box.empty() ? Texts{} : Texts{box}; }  // none for ""
  // Waits at most `ms` until no version-check thread holds the desktop any more.
  bool threadsLetGo(uint32_t ms) {
    const uint32_t start = platform::tickCount();
    while (desktop_.use_count() > (state_ ? 2 : 1) && platform::tickCount() - start < ms) platform::sleepMs(5);
    return desktop_.use_count() <= (state_ ? 2 : 1);
  }

  TempDir dir_{true};
  std::shared_ptr<ScriptedDesktop> desktop_ = std::make_shared<ScriptedDesktop>();
  std::unique_ptr<app::AppState> state_ = std::make_unique<app::AppState>(desktop_);
  std::string request_;
  size_t seen_ = 0;
};

}  // namespace testsupport
