// The service requests against PHP's development server, which parses the
// client's bare-line-feed requests as a real web server would and closes the
// connection after each reply.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "service/password_digest.h"
#include "service/service_fixture.h"
#include "service/sign_in.h"
#include "service/upload_server.h"
#include "service/version_check.h"

extern char** environ;

namespace {

// `php -S 127.0.0.1:PORT -t tests/service/php` on a free port, for one test.
class PhpServer {
 public:
  explicit PhpServer(const std::string& version) {
    port_ = testsupport::closedLoopbackPort();
    const std::string address = "127.0.0.1:" + std::to_string(port_);
    const std::string root = std::string(FP_TESTS_DIR) + "/service/php";
    std::vector<std::string> args = {"php", "-S", address, "-t", root};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("FLINGPOST_TEST_VERSION=" + version);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "php", &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    ready_ = pid_ != 0 && waitUntilListening(5000);
  }

  ~PhpServer() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      platform::sleepMs(10);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  bool ready() const { return ready_; }
  uint16_t port() const { return port_; }

 private:
  bool waitUntilListening(uint32_t ms) {
    uint32_t address = 0;
    platform::parseDottedIPv4("127.0.0.1", &address);
    const uint32_t start = platform::tickCount();
    while (platform::tickCount() - start < ms) {
      const platform::SocketHandle s = platform::openStreamSocket();
      const bool up = platform::connectIPv4(s, address, port_) == 0;
      platform::closeSocketHandle(s);
      if (up) return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = 0;  // it gave up (the port was taken in the meantime)
        return false;
      }
      platform::sleepMs(20);
    }
    return false;
  }

  pid_t pid_ = 0;
  uint16_t port_ = 0;
  bool ready_ = false;
};

class PhpServiceTest : public testsupport::ServiceTest {
 protected:
  void start(const std::string& version = "0.2") {
    server_ = std::make_unique<PhpServer>(version);
    ASSERT_TRUE(server_->ready()) << "php -S did not come up";
    useService(server_->port());
  }
  void TearDown() override { server_.reset(); }

  std::unique_ptr<PhpServer> server_;
};

TEST_F(PhpServiceTest, SignsInAndListsTheAlbums) {
  start();
  state_->login.username = "alice";
  state_->login.hashedPassword = service::PasswordDigest().digestText("secret");
  const uint32_t begin = platform::tickCount();
  ASSERT_TRUE(service::signInAndLoadAlbums(*state_));
  EXPECT_LT(platform::tickCount() - begin, 2000u);
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.usergroup, "alice");
  EXPECT_EQ(desktop_->albums().describe(), (std::vector<std::string>{"0:0:Private:Private Folder",
                                                                     "21:21:Holiday:Sun & sea", "22:22:Cats <3:"}));
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(PhpServiceTest, AUserNameWithBlankAmpersandAndHashArrivesWhole) {
  start();
  for (const char* name : {"a b", "Tom & Jerry", "x#y", "100%", "p+q=r"}) {
    state_->login.username = name;
    state_->login.hashedPassword = service::PasswordDigest().digestText("secret");
    ASSERT_TRUE(service::signInAndLoadAlbums(*state_)) << name;
    EXPECT_EQ(state_->login.usergroup, name);
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(PhpServiceTest, RefusedAndUnknownUsersGetTheirMessages) {
  start();
  state_->login.username = "alice";
  state_->login.hashedPassword = service::PasswordDigest().digestText("wrong");
  EXPECT_FALSE(service::signInAndLoadAlbums(*state_));
  state_->login.username = "nobody";
  EXPECT_FALSE(service::signInAndLoadAlbums(*state_));
  const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Login failed.\r\n\r\nCheck username and password and try again.");
  EXPECT_EQ(boxes[1].text, "User nobody doesn't exist!\r\n\r\nPlease try again.");
}

TEST_F(PhpServiceTest, LooksUpTheUploadServer) {
  start();
  ASSERT_TRUE(service::lookUpUploadServer(*state_));
  EXPECT_EQ(state_->uploadUrl, "http://127.0.0.1:" + std::to_string(server_->port()) + "/upload.php");
}

TEST_F(PhpServiceTest, ChecksTheVersion) {
  start("0.2");
  EXPECT_EQ(service::versionCheckThread(*desktop_, state_->service), 1);
  EXPECT_EQ(desktop_->boxCount(), 0u);
  server_.reset();
  start("0.3");
  EXPECT_EQ(service::versionCheckThread(*desktop_, state_->service), 1);
  EXPECT_EQ(onlyBox().caption, "Newer Version Available");
}

}  // namespace
