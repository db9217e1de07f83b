#include "service/sign_in_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <filesystem>
#include <fstream>

#include "service/routed_service.h"
#include "service/service_fixture.h"
#include "service/sign_in.h"
#include "support/loopback_peer.h"

namespace {

const char kDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";
const char kPath[] = "data/logininfo.xml";

class SignInFileTest : public testsupport::ServiceTest {
 protected:
  void writeLoginFile(const std::string& text) { std::ofstream(kPath, std::ios::binary) << text; }
  void forget() { state_->login = app::LoginInfo(); }
};

TEST_F(SignInFileTest, WritesFiveLinesJustAsTheXmlLibrarySavesThem) {
  app::LoginInfo login;
  login.username = "alice";
  login.hashedPassword = kDigest;
  const std::string text = service::renderSignInFile(login);
  EXPECT_EQ(text, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
                              "<login_info>\n"
                              "    <username>alice</username>\n"
                              "    <hashed_password>") +
                      kDigest + "</hashed_password>\n</login_info>\n");

  // The library's own SaveFile of the same document gives the same bytes, also
  // with characters that need entities.
  login.username = "Tom & \"Jerry\" <cat>";
  const std::string escaped = service::renderSignInFile(login);
  TiXmlDocument document;
  document.Parse(escaped.c_str());
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  ASSERT_TRUE(document.SaveFile("saved-by-library.xml"));
  EXPECT_EQ(testsupport::fileBytes("saved-by-library.xml"), escaped);
}

TEST_F(SignInFileTest, SaveThenLoadGivesBackNameAndDigest) {
  for (const char* name : {"alice", "Tom & Jerry", "a<b>c", "say \"hi\"", "it's", "  padded  "}) {
    state_->login.username = name;
    state_->login.hashedPassword = kDigest;
    state_->login.password = "secret";
    ASSERT_TRUE(service::saveSignInFile(*state_));
    const std::string bytes = testsupport::fileBytes(kPath);
    EXPECT_EQ(bytes.find("secret"), std::string::npos);
    forget();
    ASSERT_TRUE(service::loadSignInFile(*state_)) << name;
    EXPECT_EQ(state_->login.hashedPassword, kDigest);
    // Outer blanks of a text are not kept by the XML library's reading.
    if (std::string(name) != "  padded  ") {
      EXPECT_EQ(state_->login.username, name);
    }
    EXPECT_EQ(state_->login.password, "");
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(SignInFileTest, TheFileIsReadableByItsOwnerAlone) {
  // Also when it existed before with wider permissions.
  writeLoginFile("old");
  chmod(kPath, 0644);
  state_->login.username = "alice";
  state_->login.hashedPassword = kDigest;
  ASSERT_TRUE(service::saveSignInFile(*state_));
  struct stat info {};
  ASSERT_EQ(stat(kPath, &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(std::string(kPath) + ".tmp"));
}

TEST_F(SignInFileTest, ASaveThatCannotWriteChangesNothing) {
  std::filesystem::remove_all("data");
  std::ofstream("data") << "a file where the folder should be";
  state_->login.username = "alice";
  EXPECT_FALSE(service::saveSignInFile(*state_));
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(SignInFileTest, ReadsTheElementsInAnyOrderAndLayout) {
  writeLoginFile(std::string("<login_info><hashed_password>") + kDigest +
                 "</hashed_password>\r\n\t<username>bob &amp; co</username></login_info>");
  ASSERT_TRUE(service::loadSignInFile(*state_));
  EXPECT_EQ(state_->login.username, "bob & co");
  EXPECT_EQ(state_->login.hashedPassword, kDigest);
}

TEST_F(SignInFileTest, BrokenFilesShowTheirMessage) {
  struct Row {
    std::string text;
    const char* message;
    const char* usernameAfter;
  };
  const Row rows[] = {
      {"", "Cannot open the saved sign-in file data/logininfo.xml.", "before"},
      {"<login_info><username>x</login_info>", "Cannot open the saved sign-in file data/logininfo.xml.", "before"},
      {"<other><username>x</username></other>", "Cannot find root node in logininfo XML", "before"},
      {"<login_info><hashed_password>h</hashed_password></login_info>", "Cannot find root node in logininfo XML",
       "before"},
      {"<login_info><username></username><hashed_password>h</hashed_password></login_info>",
       "Body of username node is empty!", "before"},
      // The user name is taken before the digest is looked at.
      {"<login_info><username>carol</username></login_info>", "Cannot find root node in logininfo XML", "carol"},
      {"<login_info><username>carol</username><hashed_password/></login_info>",
       "Body of hashed_password node is empty!", "carol"},
  };
  size_t shown = 0;
  for (const Row& row : rows) {
    state_->login.username = "before";
    state_->login.hashedPassword = "digest before";
    writeLoginFile(row.text);
    EXPECT_FALSE(service::loadSignInFile(*state_)) << row.text;
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), ++shown) << row.text;
    EXPECT_EQ(boxes.back().text, row.message);
    EXPECT_EQ(boxes.back().caption, "Setup Error");
    EXPECT_EQ(state_->login.username, row.usernameAfter);
    EXPECT_EQ(state_->login.hashedPassword, "digest before");
  }
}

TEST_F(SignInFileTest, WithoutAFileTheStartShowsNothingAndStaysSignedOut) {
  testsupport::RoutedService service({{"/versioncheckxml.php", testsupport::httpReply(
                                           "<appinfo><current_version>0.2</current_version></appinfo>")}});
  useService(service.port());
  EXPECT_TRUE(service::startUp(*state_));
  EXPECT_FALSE(state_->signedIn);
  EXPECT_EQ(desktop_->albums().count(), 0);
  EXPECT_TRUE(waitForThreadsToLetGo(3000));
  EXPECT_EQ(desktop_->boxCount(), 0u);
  EXPECT_EQ(service.targets(), std::vector<std::string>{"/versioncheckxml.php?application=flingpost"});
}

TEST_F(SignInFileTest, AnEmptyFileShowsTheLoadMessageAtStartAndDoesNotSignIn) {
  testsupport::RoutedService service({{"/versioncheckxml.php", testsupport::httpReply(
                                           "<appinfo><current_version>0.2</current_version></appinfo>")}});
  useService(service.port());
  writeLoginFile("");
  EXPECT_TRUE(service::startUp(*state_));
  EXPECT_FALSE(state_->signedIn);
  EXPECT_EQ(onlyBox().text, "Cannot open the saved sign-in file data/logininfo.xml.");
  EXPECT_TRUE(waitForThreadsToLetGo(3000));
  EXPECT_EQ(service.targets(), std::vector<std::string>{"/versioncheckxml.php?application=flingpost"});
}

TEST_F(SignInFileTest, TheStartSignsInWithTheSavedNameAndDigest) {
  testsupport::RoutedService service(
      {{"/versioncheckxml.php", testsupport::httpReply("<appinfo><current_version>0.2</current_version></appinfo>")},
       {"/getuserdataxml.php?user=Tom%20%26%20Jerry&hashed_password=5ebe",
        testsupport::httpReply("<userdata><validated status=\"true\"/><usergroup>g</usergroup>"
                               "<album><id>3</id><album_name>A</album_name><album_description/></album>"
                               "</userdata>")}});
  useService(service.port());
  state_->login.username = "Tom & Jerry";
  state_->login.hashedPassword = kDigest;
  ASSERT_TRUE(service::saveSignInFile(*state_));
  forget();
  EXPECT_TRUE(service::startUp(*state_));
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.username, "Tom & Jerry");
  EXPECT_EQ(desktop_->albums().describe(), (std::vector<std::string>{"0:0:Private:Private Folder", "3:3:A:"}));
}

// Only a successful sign-in made with the box ticked writes the file, and the
// sign-in itself never writes it: a refused sign-in leaves it as it was.
TEST_F(SignInFileTest, ASignInDoesNotTouchTheSavedFile) {
  state_->login.username = "alice";
  state_->login.hashedPassword = kDigest;
  ASSERT_TRUE(service::saveSignInFile(*state_));
  const std::string saved = testsupport::fileBytes(kPath);
  state_->login.username = "mallory";
  state_->login.hashedPassword = "00000000000000000000000000000000";
  for (const char* body : {"<userdata><validated status=\"false\"/></userdata>",
                           "<userdata><validated status=\"true\"/><usergroup>g</usergroup></userdata>"}) {
    testsupport::LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(testsupport::httpReply(body)).close();
    peer.start();
    useService(peer.port());
    service::signInAndLoadAlbums(*state_);
    EXPECT_EQ(testsupport::fileBytes(kPath), saved) << body;
  }
}

}  // namespace
