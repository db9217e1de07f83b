#include "service/sign_in_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <filesystem>

#include "platform/charset.h"
#include "service/service_fixture.h"
#include "service/sign_in.h"

namespace {

using testsupport::readFileBytes;
using testsupport::writeFileBytes;

const char kDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";
const char kPath[] = "data/logininfo.xml";

// Names are typed in the Windows western code set, as on most Windows systems.
class SignInFileTest : public testsupport::ServiceTest {
 protected:
  SignInFileTest() {
    platform::setAnsiCodeSetForTesting("CP1252");
    state_->login.username = "alice";
    state_->login.hashedPassword = kDigest;
  }
  ~SignInFileTest() override { platform::setAnsiCodeSetForTesting(""); }
};

TEST_F(SignInFileTest, WritesFiveLinesJustAsTheXmlLibrarySavesThem) {
  std::string text;
  ASSERT_TRUE(service::renderSignInFile(state_->login, &text));
  EXPECT_EQ(text, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
                              "<login_info>\n"
                              "    <username>alice</username>\n"
                              "    <hashed_password>") +
                      kDigest + "</hashed_password>\n</login_info>\n");

  // The library's own SaveFile of the same document gives the same bytes, also
  // with characters that need entities.
  state_->login.username = "Tom & \"Jerry\" <cat>";
  std::string escaped;
  ASSERT_TRUE(service::renderSignInFile(state_->login, &escaped));
  TiXmlDocument document;
  document.Parse(escaped.c_str());
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  ASSERT_TRUE(document.SaveFile("saved-by-library.xml"));
  EXPECT_EQ(readFileBytes("saved-by-library.xml"), escaped);
}

TEST_F(SignInFileTest, SaveThenLoadGivesBackNameAndDigestButNeverThePassword) {
  // Blanks as typed, and characters beyond ASCII (stored as UTF-8).
  for (const char* name : {"alice", "Tom & Jerry", "a<b>c", "say \"hi\"", "it's", "  bob  smith ", " x", "y ",
                           "\tt\r\nn \t", "Zo\xEB Bront\xEB", "\x80 5"}) {
    state_->login.username = name;
    state_->login.hashedPassword = kDigest;
    state_->login.password = "secret";
    ASSERT_TRUE(service::saveSignInFile(*state_));
    EXPECT_EQ(readFileBytes(kPath).find("secret"), std::string::npos);
    state_->login = app::LoginInfo();
    ASSERT_TRUE(service::loadSignInFile(*state_)) << name;
    EXPECT_EQ(state_->login.username, name);
    EXPECT_EQ(state_->login.hashedPassword, kDigest);
    EXPECT_EQ(state_->login.password, "");
  }
  EXPECT_NE(readFileBytes(kPath).find("<username>\xE2\x82\xAC 5</username>"), std::string::npos);
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // A byte the code set does not define would come back as another name.
  state_->login.username = "a\x81";
  EXPECT_FALSE(service::saveSignInFile(*state_));
  EXPECT_NE(readFileBytes(kPath).find("\xE2\x82\xAC 5"), std::string::npos);
}

TEST_F(SignInFileTest, TheFileIsReadableByItsOwnerAlone) {
  // Also when it existed before with wider permissions.
  writeFileBytes(kPath, "old");
  chmod(kPath, 0644);
  ASSERT_TRUE(service::saveSignInFile(*state_));
  struct stat info {};
  ASSERT_EQ(stat(kPath, &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(std::string(kPath) + ".tmp"));
}

TEST_F(SignInFileTest, ASaveThatCannotWriteFailsSilently) {
  std::filesystem::remove_all("data");
  writeFileBytes("data", "a file where the folder should be");
  EXPECT_FALSE(service::saveSignInFile(*state_));
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(SignInFileTest, LoadsTheElementsInAnyOrderAndLayoutAndShowsWhatIsWrongWithABrokenFile) {
  struct Row {
    std::string text;
    const char* message;  // null: loads
    const char* usernameAfter;
    const char* digestAfter;
  };
  const char* const unopened = "Cannot open the saved sign-in file data/logininfo.xml: it is not well-formed";
  const char* const noRoot = "Cannot find root node in logininfo XML";
  const Row rows[] = {
      {std::string("<login_info><hashed_password>") + kDigest +
           "</hashed_password>\r\n\t<username>bob &amp; co</username></login_info>",
       nullptr, "bob & co", kDigest},
      // Files of earlier versions: blanks condensed, the name in the code set's own bytes.
      {"<login_info><username>  bob \n smith </username><hashed_password>h</hashed_password></login_info>", nullptr,
       "bob smith", "h"},
      {"<login_info><username>Zo\xEB</username><hashed_password>h</hashed_password></login_info>", nullptr,
       "Zo\xEB", "h"},
      {"<login_info><username>\xC4\x80</username><hashed_password>h</hashed_password></login_info>",
       "Cannot open the saved sign-in file data/logininfo.xml: its user name has characters", "before",
       "digest before"},
      {"", unopened, "before", "digest before"},
      {"<login_info><username>x</login_info>", unopened, "before", "digest before"},
      {"<other><username>x</username></other>", noRoot, "before", "digest before"},
      {"<login_info><hashed_password>h</hashed_password></login_info>", noRoot, "before", "digest before"},
      {"<login_info><username></username><hashed_password>h</hashed_password></login_info>",
       "Body of username node is empty!", "before", "digest before"},
      // The user name is taken before the digest is looked at.
      {"<login_info><username>carol</username></login_info>", noRoot, "carol", "digest before"},
      {"<login_info><username>carol</username><hashed_password/></login_info>",
       "Body of hashed_password node is empty!", "carol", "digest before"},
  };
  size_t shown = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    state_->login.username = "before";
    state_->login.hashedPassword = "digest before";
    writeFileBytes(kPath, row.text);
    EXPECT_EQ(service::loadSignInFile(*state_), row.message == nullptr);
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), row.message ? ++shown : shown);
    if (row.message) {
      EXPECT_EQ(boxes.back().text.substr(0, strlen(row.message)), row.message);
      EXPECT_EQ(boxes.back().caption, "Setup Error");
    }
    EXPECT_EQ(state_->login.username, row.usernameAfter);
    EXPECT_EQ(state_->login.hashedPassword, row.digestAfter);
  }
}

TEST_F(SignInFileTest, TheStartDoesNotSignInWithoutAFileNorWithAnEmptyOne) {
  testsupport::LoopbackPeer peer;
  const std::string version =
      testsupport::httpReply("<appinfo><current_version>0.2</current_version></appinfo>");
  peer.receiveUntil("\n\n").send(version).close().nextConnection().receiveUntil("\n\n").send(version).close();
  peer.start();
  useService(peer.port());
  for (bool withFile : {false, true}) {
    if (withFile) writeFileBytes(kPath, "");
    EXPECT_TRUE(service::startUp(*state_));
    EXPECT_TRUE(waitForThreadsToLetGo(3000));
    EXPECT_FALSE(state_->signedIn);
    EXPECT_EQ(desktop_->boxCount(), withFile ? 1u : 0u);
  }
  EXPECT_EQ(desktop_->boxes()[0].text.rfind("Cannot open the saved sign-in file data/logininfo.xml: ", 0), 0u);
  // No sign-in was tried: it would have shown its progress view and asked the service.
  EXPECT_TRUE(desktop_->progress().empty());
  ASSERT_TRUE(peer.waitDone(3000));
  EXPECT_EQ(peer.connectionsAccepted(), 2);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(peer.received(i).rfind("GET /versioncheckxml.php?", 0), 0u);
}

// Only a successful sign-in made with the box ticked writes the file, and the
// sign-in itself never writes it, whatever its outcome.
TEST_F(SignInFileTest, ASignInDoesNotTouchTheSavedFile) {
  ASSERT_TRUE(service::saveSignInFile(*state_));
  const std::string saved = readFileBytes(kPath);
  state_->login.username = "mallory";
  state_->login.hashedPassword = "00000000000000000000000000000000";
  for (const char* body : {"<userdata><validated status=\"false\"/></userdata>",
                           "<userdata><validated status=\"true\"/><usergroup>g</usergroup></userdata>"}) {
    answering(testsupport::httpReply(body), [this] { return service::signInAndLoadAlbums(*state_); });
    EXPECT_EQ(readFileBytes(kPath), saved) << body;
  }
}

}  // namespace
