#include "service/sign_in_file.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/western_code_set.h"
#include "service/service_fixture.h"

namespace {

using testsupport::readFileBytes;
using testsupport::Texts;

const char kPath[] = "data/logininfo.xml";
const char kDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";

// Names are typed in the Windows western code set, as on most Windows systems.
class SignInFileTest : public testsupport::ServiceTest {
 protected:
  SignInFileTest() { state_->env = &western_; }
  fptest::WesternEnv western_;
};

TEST_F(SignInFileTest, FiveLinesAsTheXmlLibrarySavesThemReadableByTheOwnerAlone) {
  testsupport::writeFileBytes(kPath, "old");
  chmod(kPath, 0644);
  state_->login.password = "secret";
  ASSERT_TRUE(service::saveSignInFile(*state_));
  EXPECT_EQ(readFileBytes(kPath), std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
                                              "<login_info>\n    <username>alice</username>\n    <hashed_password>") +
                                      kDigest + "</hashed_password>\n</login_info>\n");
  struct stat info {};
  ASSERT_EQ(stat(kPath, &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(std::string(kPath) + ".tmp"));
}

TEST_F(SignInFileTest, LoadGivesBackExactlyTheSavedNameAndDigest) {
  for (const char* name : {"Tom & \"Jerry\"", "  bob  smith ", "\tt\r\nn \t", "Zo\xEB", "\x80 5"}) {
    state_->login.username = name;
    ASSERT_TRUE(service::saveSignInFile(*state_)) << name;
    state_->login = app::LoginInfo();
    ASSERT_TRUE(service::loadSignInFile(*state_)) << name;
    EXPECT_EQ(state_->login.username, name);
    EXPECT_EQ(state_->login.hashedPassword, kDigest);
  }
  EXPECT_NE(readFileBytes(kPath).find("<username>\xE2\x82\xAC 5</username>"), std::string::npos);  // UTF-8
  // A byte the code set does not define would come back as another name: not
  // saved, and not said (the sign-in itself succeeded).
  state_->login.username = "a\x81";
  EXPECT_FALSE(service::saveSignInFile(*state_));
  EXPECT_NE(readFileBytes(kPath).find("\xE2\x82\xAC 5"), std::string::npos);
  EXPECT_EQ(newBoxes(), Texts{});
}

TEST_F(SignInFileTest, LoadsAnyOrderAndLayoutAndNamesWhatIsWrongWithABrokenFile) {
  const std::string unopened = "Cannot open the saved sign-in file data/logininfo.xml: ";
  const std::string noRoot = "Cannot find root node in logininfo XML";
  const struct {
    std::string text, message;  // the start of the one box shown; empty: loads
    const char *username, *digest;
  } rows[] = {
      {"<login_info><hashed_password>h</hashed_password>\r\n\t<username>bob &amp; co</username></login_info>", "",
       "bob & co", "h"},
      // Files of earlier versions: blanks condensed, the name in the code set's own bytes.
      {"<login_info><username>  bob \n smith </username><hashed_password>h</hashed_password></login_info>", "",
       "bob smith", "h"},
      {"<login_info><username>\xC4\x80</username><hashed_password>h</hashed_password></login_info>",
       unopened + "its user name has characters", "before", "before"},
      {"", unopened + "it is not well-formed", "before", "before"},
      {"<login_info><username></username><hashed_password>h</hashed_password></login_info>",
       "Body of username node is empty!", "before", "before"},
      {"<login_info><username>carol</username></login_info>", noRoot, "carol", "before"},
      {"<login_info><username>carol</username><hashed_password/></login_info>",
       "Body of hashed_password node is empty!", "carol", "before"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    state_->login.username = state_->login.hashedPassword = "before";
    testsupport::writeFileBytes(kPath, row.text);
    EXPECT_EQ(service::loadSignInFile(*state_), row.message.empty());
    const std::string message = row.message.empty() ? "" : "Setup Error: " + row.message;
    EXPECT_EQ(newBoxes(message.size()), one(message));
    EXPECT_EQ(state_->login.username, row.username);
    EXPECT_EQ(state_->login.hashedPassword, row.digest);
  }
}

// The start does not wait for a slow service, nor sign in with a saved sign-in
// that does not load; the process may end (the state go) while the check waits.
TEST_F(SignInFileTest, TheStartRunsTheVersionCheckOnAThreadThatMayOutliveTheState) {
  testsupport::LoopbackPeer peer;
  peer.receiveUntil("\n\n").pause(1000);
  peer.send(testsupport::httpReply("<appinfo><current_version>0.1</current_version></appinfo>")).close().start();
  useService(peer.port());
  testsupport::writeFileBytes(kPath, "");
  const uint32_t start = platform::tickCount();
  service::startUp(*state_);
  EXPECT_LT(platform::tickCount() - start, 500u);
  const std::string unopened = "Setup Error: Cannot open the saved sign-in file data/logininfo.xml: ";
  EXPECT_EQ(newBoxes(unopened.size()), Texts{unopened});
  EXPECT_TRUE(desktop_->progress().empty()) << "no sign-in was tried";
  state_.reset();
  ASSERT_TRUE(desktop_->waitForBoxes(2, 5000));
  EXPECT_GE(platform::tickCount() - start, 990u);
  EXPECT_EQ(newBoxes(25), Texts{"Newer Version Available: "});
  EXPECT_NE(desktop_->boxes()[1].thread, std::this_thread::get_id());
  EXPECT_TRUE(threadsLetGo(3000));
  EXPECT_EQ(peer.connectionsAccepted(), 1);
}

}  // namespace
