#pragma once
// Shared ground for the service tests: a temporary working directory, a scripted
// desktop, an AppState pointed at a loopback service, and reply builders.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"

namespace testsupport {

// "HTTP/1.1 200 OK" with Content-Type, Content-Length and `body`.
std::string httpReply(const std::string& body, const std::string& status = "200 OK");
// The same body in chunks of `chunkSize` bytes, ended by the zero chunk.
std::string chunkedReply(const std::string& body, size_t chunkSize);

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest();
  ~ServiceTest() override;

  // Points the state's service at 127.0.0.1:port.
  void useService(uint16_t port);
  // Runs `action` against a loopback service that answers `reply` to the first
  // request and closes; keeps what the client sent in request_.
  template <typename Action>
  auto answering(const std::string& reply, Action action) -> decltype(action()) {
    LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(reply).close();
    peer.start();
    useService(peer.port());
    auto result = action();
    peer.waitDone(2000);
    request_ = peer.received();
    return result;
  }
  // Waits at most `ms` until no version-check thread holds the desktop any more.
  bool waitForThreadsToLetGo(uint32_t ms);
  // The one box shown, checked to be exactly one.
  RecordedBox onlyBox() const;

  TempDir dir_{true};
  std::shared_ptr<ScriptedDesktop> desktop_;
  std::unique_ptr<app::AppState> state_;
  std::string request_;
};

}  // namespace testsupport
