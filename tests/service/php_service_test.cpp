// The service requests against the local stand-in of the service: small PHP
// scripts under PHP's development server, which parses the client's
// bare-line-feed requests as a real web server would and closes the connection
// after each reply.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "service/password_digest.h"
#include "service/service_fixture.h"
#include "service/sign_in.h"
#include "service/upload_server.h"
#include "service/version_check.h"
#include "support/dev_service.h"

namespace {

// Every user signs in with "secret"; the group repeats the name as the service
// decoded it from the query, so a test sees how the name arrived.
const char* const kUsers[] = {"alice", "a b", "Tom & Jerry", "x#y", "100%", "p+q=r"};

class PhpServiceTest : public testsupport::ServiceTest {
 protected:
  // One server for the suite: it takes about half a second to come up.
  static void SetUpTestSuite() {
    users_ = std::make_unique<testsupport::TempDir>();
    std::string json = "{\"users\": {";
    for (const char* name : kUsers) {
      json += std::string(json.back() == '{' ? "" : ", ") + "\"" + name + "\": {\"password_md5\": \"" +
              service::PasswordDigest().digestText("secret") + "\", \"usergroup\": \"" + name +
              "\", \"albums\": [{\"id\": 21, \"name\": \"Holiday\", \"description\": \"Sun & sea\"}, "
              "{\"id\": 22, \"name\": \"Cats <3\", \"description\": \"\"}]}";
    }
    testsupport::writeFileBytes(users_->file("users.json"), json + "}}");
    server_ = std::make_unique<testsupport::DevService>(std::map<std::string, std::string>{
        {"DEVSERVICE_USERS", users_->file("users.json")}, {"DEVSERVICE_VERSION", "0.3"}});
  }
  static void TearDownTestSuite() {
    server_.reset();
    users_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(server_->running()) << "the service stand-in did not come up";
    ASSERT_TRUE(app::parseServiceEndpoint(server_->address(), &state_->service));
  }

  bool signIn(const std::string& name, const std::string& password) {
    state_->login.username = name;
    state_->login.hashedPassword = service::PasswordDigest().digestText(password);
    return service::signInAndLoadAlbums(*state_);
  }

  static std::unique_ptr<testsupport::TempDir> users_;
  static std::unique_ptr<testsupport::DevService> server_;
};

std::unique_ptr<testsupport::TempDir> PhpServiceTest::users_;
std::unique_ptr<testsupport::DevService> PhpServiceTest::server_;

TEST_F(PhpServiceTest, SignsInWithNamesThatNeedEncodingAndListsTheAlbums) {
  for (const char* name : kUsers) {
    ASSERT_TRUE(signIn(name, "secret")) << name;
    EXPECT_TRUE(state_->signedIn);
    EXPECT_EQ(state_->login.usergroup, name);
    EXPECT_EQ(desktop_->albums().describe(), (std::vector<std::string>{"0:0:Private:Private Folder",
                                                                       "21:21:Holiday:Sun & sea", "22:22:Cats <3:"}));
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(PhpServiceTest, RefusedAndUnknownUsersGetTheirMessages) {
  EXPECT_FALSE(signIn("alice", "wrong"));
  EXPECT_FALSE(signIn("nobody", "secret"));
  const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Login failed.\r\n\r\nCheck username and password and try again.");
  EXPECT_EQ(boxes[1].text, "User nobody doesn't exist!\r\n\r\nPlease try again.");
}

TEST_F(PhpServiceTest, LooksUpTheUploadServerAndChecksTheVersion) {
  ASSERT_TRUE(service::lookUpUploadServer(*state_));
  EXPECT_EQ(state_->uploadUrl, "http://" + server_->address() + "/upload.php");
  EXPECT_EQ(service::versionCheckThread(*desktop_, state_->service), 1);
  EXPECT_EQ(onlyBox().text,
            "There is a newer version available.\r\n\r\nPlease visit 127.0.0.1 to download the most recent version "
            "of this application.");
}

}  // namespace
