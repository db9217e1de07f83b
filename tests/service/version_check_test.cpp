#include "service/version_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "service/service_fixture.h"
#include "service/sign_in_file.h"

namespace {

using testsupport::LoopbackPeer;

std::string versionReply(const std::string& version) {
  return testsupport::httpReply("<?xml version=\"1.0\"?><appinfo><current_version>" + version +
                                "</current_version></appinfo>");
}

const char kDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";
const char kNews[] =
    "There is a newer version available.\r\n\r\nPlease visit 127.0.0.1 to download the most recent version of "
    "this application.";

// A loopback service that serves every connection on a thread of its own, so
// that a delayed answer to one request holds up no other: the first route whose
// prefix starts the request target answers, after its delay, and closes. Other
// requests get no answer.
class RoutedService {
 public:
  struct Route {
    std::string targetPrefix;
    std::string reply;
    uint32_t delayMs;
  };

  explicit RoutedService(std::vector<Route> routes) : routes_(std::move(routes)) {
    testsupport::ensureSocketsStarted();
    listener_ = platform::listenLoopback(&port_, 16);
    acceptor_ = std::thread([this] {
      while (!stopping_) {
        const platform::SocketHandle s = platform::acceptConnection(listener_, 20);
        if (s != platform::kInvalidSocket) workers_.emplace_back([this, s] { serve(s); });
      }
    });
  }
  ~RoutedService() {
    stopping_ = true;
    acceptor_.join();
    for (std::thread& t : workers_) t.join();
    platform::closeSocketHandle(listener_);
  }

  uint16_t port() const { return port_; }

 private:
  void serve(platform::SocketHandle s) {
    std::string request;
    char buffer[1024];
    const uint32_t start = platform::tickCount();
    while (request.find("\n\n") == std::string::npos && !stopping_ && platform::tickCount() - start < 5000) {
      if (platform::waitReadable(s, 20) != 1) continue;
      const int n = platform::receiveSome(s, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, size_t(n));
    }
    const size_t from = request.find(' ') + 1;  // "GET /path?query HTTP/1.1"
    const std::string target = request.substr(from, request.find(' ', from) - from);
    for (const Route& route : routes_) {
      if (target.compare(0, route.targetPrefix.size(), route.targetPrefix) != 0) continue;
      const uint32_t begin = platform::tickCount();
      while (!stopping_ && platform::tickCount() - begin < route.delayMs) platform::sleepMs(5);
      for (size_t sent = 0; sent < route.reply.size() && !stopping_;) {
        const int n = platform::sendSome(s, route.reply.data() + sent, int(route.reply.size() - sent));
        if (n <= 0) break;
        sent += size_t(n);
      }
      break;
    }
    platform::closeSocketHandle(s);
  }

  const std::vector<Route> routes_;
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> workers_;  // only the acceptor adds to it
  std::thread acceptor_;
};

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
  EXPECT_EQ(testsupport::readFileBytes("data/versiondata.xml").substr(0, 5), "<?xml");
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

TEST_F(VersionCheckTest, AnUnreadableReplyEndsTheCheckSilentlyAndAFailedFetchShowsOnlyItsMessage) {
  for (const std::string& body :
       {std::string("<notinfo><current_version>9</current_version></notinfo>"), std::string("<appinfo/>"),
        std::string("<appinfo><current_version/></appinfo>"), std::string("<appinfo><current"), std::string()}) {
    EXPECT_EQ(checkWith(testsupport::httpReply(body)), 0) << body;
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
  useService(testsupport::closedLoopbackPort());
  EXPECT_EQ(service::versionCheckThread(*desktop_, state_->service), 0);
  EXPECT_EQ(onlyBox().caption, "Network Error");
}

TEST_F(VersionCheckTest, RunsOnAThreadOfItsOwnThatMayOutliveTheState) {
  LoopbackPeer peer;
  peer.receiveUntil("\n\n").pause(300).send(versionReply("0.1")).close();
  peer.start();
  useService(peer.port());
  EXPECT_TRUE(service::startVersionCheck(*state_));
  EXPECT_TRUE(state_->versionCheckStarted);
  state_.reset();  // the process is ending while the check still waits
  ASSERT_TRUE(desktop_->waitForBoxes(1, 3000));
  const testsupport::RecordedBox box = onlyBox();
  EXPECT_EQ(box.text, kNews);
  EXPECT_NE(box.thread, std::this_thread::get_id());
  EXPECT_TRUE(waitForThreadsToLetGo(3000));
}

TEST_F(VersionCheckTest, ASlowServiceHoldsUpNeitherTheStartNorTheSavedSignIn) {
  // Only the exact requests are answered.
  RoutedService service({{"/versioncheckxml.php?application=flingpost", versionReply("0.9"), 2000},
                         {"/getuserdataxml.php?user=Tom%20%26%20Jerry&hashed_password=" + std::string(kDigest),
                          testsupport::httpReply("<userdata><validated status=\"true\"/><usergroup>g</usergroup>"
                                                 "<album><id>3</id><album_name>A</album_name><album_description/>"
                                                 "</album></userdata>"),
                          0}});
  useService(service.port());
  state_->login.username = "Tom & Jerry";
  state_->login.hashedPassword = kDigest;
  ASSERT_TRUE(service::saveSignInFile(*state_));
  state_->login = app::LoginInfo();

  const uint32_t start = platform::tickCount();
  EXPECT_TRUE(service::startUp(*state_));
  EXPECT_LT(platform::tickCount() - start, 1200u);
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.username, "Tom & Jerry");
  EXPECT_EQ(desktop_->albums().describe(), (std::vector<std::string>{"0:0:Private:Private Folder", "3:3:A:"}));
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // The news still comes, later, from the check's own thread.
  ASSERT_TRUE(desktop_->waitForBoxes(1, 4000));
  EXPECT_GE(platform::tickCount() - start, 1900u);
  EXPECT_EQ(onlyBox().text, kNews);
}

}  // namespace
