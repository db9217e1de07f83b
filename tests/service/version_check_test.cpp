#include "service/version_check.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "service/routed_service.h"
#include "service/service_fixture.h"
#include "service/sign_in_file.h"
#include "support/loopback_peer.h"

namespace {

using testsupport::LoopbackPeer;
using testsupport::RoutedService;

std::string versionReply(const std::string& version) {
  return testsupport::httpReply("<?xml version=\"1.0\"?><appinfo><current_version>" + version +
                                "</current_version></appinfo>");
}

const char kNews[] =
    "There is a newer version available.\r\n\r\nPlease visit 127.0.0.1 to download the most recent version of "
    "this application.";

class VersionCheckTest : public testsupport::ServiceTest {
 protected:
  // Runs the check's body on this thread against a service answering `reply`.
  int checkWith(const std::string& reply) {
    return answering(reply, [this] { return service::versionCheckThread(*desktop_, state_->service); });
  }
};

TEST_F(VersionCheckTest, TheSameVersionShowsNothing) {
  EXPECT_EQ(checkWith(versionReply("0.2")), 1);
  EXPECT_EQ(desktop_->boxCount(), 0u);
  EXPECT_EQ(request_,
            "GET /versioncheckxml.php?application=flingpost HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  EXPECT_EQ(testsupport::fileBytes("data/versiondata.xml").substr(0, 5), "<?xml");
}

TEST_F(VersionCheckTest, AnyDifferenceShowsTheNewsOnce) {
  size_t shown = 0;
  for (const char* version : {"0.3", "0.1", "0.2a", "0.20", "1.0"}) {
    EXPECT_EQ(checkWith(versionReply(version)), 1) << version;
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), ++shown) << version;
    EXPECT_EQ(boxes.back().text, kNews);
    EXPECT_EQ(boxes.back().caption, "Newer Version Available");
    EXPECT_EQ(boxes.back().buttons, app::MessageButtons::kOk);
  }
}

TEST_F(VersionCheckTest, AnUnreadableReplyEndsTheCheckSilently) {
  for (const std::string& body :
       {std::string("<notinfo><current_version>9</current_version></notinfo>"), std::string("<appinfo/>"),
        std::string("<appinfo><current_version/></appinfo>"), std::string("<appinfo><current"), std::string()}) {
    EXPECT_EQ(checkWith(testsupport::httpReply(body)), 0) << body;
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(VersionCheckTest, AFetchFailureShowsItsNetworkMessage) {
  useService(testsupport::closedLoopbackPort());
  EXPECT_EQ(service::versionCheckThread(*desktop_, state_->service), 0);
  EXPECT_EQ(onlyBox().caption, "Network Error");
}

TEST_F(VersionCheckTest, RunsOnAThreadOfItsOwnAndShowsTheNewsFromThere) {
  LoopbackPeer peer;
  peer.receiveUntil("\n\n").send(versionReply("0.3")).close();
  peer.start();
  useService(peer.port());
  EXPECT_TRUE(service::startVersionCheck(*state_));
  EXPECT_TRUE(state_->versionCheckStarted);
  ASSERT_TRUE(desktop_->waitForBoxes(1, 3000));
  const testsupport::RecordedBox box = onlyBox();
  EXPECT_EQ(box.text, kNews);
  EXPECT_NE(box.thread, std::this_thread::get_id());
}

TEST_F(VersionCheckTest, TheThreadMayOutliveTheState) {
  LoopbackPeer peer;
  peer.receiveUntil("\n\n").pause(300).send(versionReply("0.1")).close();
  peer.start();
  useService(peer.port());
  service::startVersionCheck(*state_);
  state_.reset();  // the process is ending while the check still waits
  ASSERT_TRUE(desktop_->waitForBoxes(1, 3000));
  EXPECT_EQ(onlyBox().text, kNews);
  EXPECT_TRUE(waitForThreadsToLetGo(3000));
}

TEST_F(VersionCheckTest, ASlowServiceDoesNotHoldUpTheStart) {
  RoutedService service({{"/versioncheckxml.php", versionReply("0.9"), 1500, false}});
  useService(service.port());
  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(service::startUp(*state_));
  EXPECT_LT(platform::tickCount() - start, 200u);
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // The news still comes, later, from the check's own thread.
  ASSERT_TRUE(desktop_->waitForBoxes(1, 4000));
  EXPECT_GE(platform::tickCount() - start, 1400u);
  EXPECT_EQ(onlyBox().text, kNews);
}

TEST_F(VersionCheckTest, ASlowServiceDoesNotHoldUpTheSavedSignIn) {
  RoutedService service(
      {{"/versioncheckxml.php", versionReply("0.9"), 2000, false},
       {"/getuserdataxml.php",
        testsupport::httpReply("<userdata><validated status=\"true\"/><usergroup>g</usergroup></userdata>"), 0,
        true}});
  useService(service.port());
  state_->login.username = "alice";
  state_->login.hashedPassword = "5ebe2294ecd0e0f08eab7690d2a6ee69";
  ASSERT_TRUE(service::saveSignInFile(*state_));
  state_->login = app::LoginInfo();

  const uint32_t start = platform::tickCount();
  service::startUp(*state_);
  const uint32_t elapsed = platform::tickCount() - start;
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.username, "alice");
  EXPECT_LT(elapsed, 1200u);
  EXPECT_EQ(desktop_->boxCount(), 0u);
  ASSERT_TRUE(desktop_->waitForBoxes(1, 4000));
  EXPECT_EQ((service.targets()), (std::vector<std::string>{"/versioncheckxml.php?application=flingpost",
                                     "/getuserdataxml.php?user=alice&hashed_password=5ebe2294ecd0e0f08eab7690d2a6ee69"}));
}

}  // namespace
