// The command table, the start-up order after the window exists, the sign-in
// from the dialog and the tray flags, against a scripted desktop.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "app/app_state.h"
#include "app/data_files.h"
#include "platform/files.h"
#include "platform/sockets.h"
#include "shell/commands.h"
#include "support/dev_service.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"
#include "upload/link_code_cache.h"

namespace {

using app::MessageAnswer;

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop_ = std::make_shared<testsupport::ScriptedDesktop>();
    state_ = std::make_unique<app::AppState>(desktop_);
  }
  int run(int id, int notification = 0) { return shell::runCommand(*state_, id, notification); }

  testsupport::TempDir dir_{true};
  std::shared_ptr<testsupport::ScriptedDesktop> desktop_;
  std::unique_ptr<app::AppState> state_;
};

TEST_F(CommandsTest, ThumbnailSizeKeepsExactlyOneCheckMark) {
  const struct {
    int id, size;
  } cases[] = {{shell::kCommandThumb300, 300}, {shell::kCommandThumb100, 100}, {shell::kCommandThumb400, 400},
               {shell::kCommandThumb200, 200}};
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.id), 0);
    EXPECT_EQ(state_->thumbnailSize, c.size);
    EXPECT_EQ(desktop_->checkedMenuItems(), std::vector<int>{c.id});
  }
}

TEST_F(CommandsTest, DisablePromptTogglesAndShowsItsCheckWhileOff) {
  run(shell::kCommandDisablePrompt);
  EXPECT_FALSE(state_->promptBeforeUpload);
  EXPECT_EQ(desktop_->checkedMenuItems(), std::vector<int>{shell::kCommandDisablePrompt});
  run(shell::kCommandDisablePrompt);
  EXPECT_TRUE(state_->promptBeforeUpload);
  EXPECT_TRUE(desktop_->checkedMenuItems().empty());
}

TEST_F(CommandsTest, ExitsCarryTheirCodesAndTheTrayExitRemovesTheIcon) {
  run(shell::kCommandExit);
  run(shell::kCommandTrayExit);
  EXPECT_EQ(desktop_->endRequests(), (std::vector<int>{18, 0}));
  EXPECT_EQ(desktop_->trayCalls(), std::vector<std::string>{"remove"});
  run(12345);  // unknown ids do nothing
  EXPECT_EQ(desktop_->endRequests().size(), 2u);
}

TEST_F(CommandsTest, AboutBoxTextAndCaption) {
  run(shell::kCommandAbout);
  ASSERT_EQ(desktop_->boxCount(), 1u);
  EXPECT_EQ(desktop_->boxes()[0].caption, "About Kestrova Flingpost");
  EXPECT_EQ(desktop_->boxes()[0].text,
            "Kestrova Flingpost Uploader v0.2 (beta)\r\n\r\nTo use, just log in, then drag files over to an album "
            "panel.\r\n\r\nThis is beta software, and is not guaranteed to work.\r\nPlease report bugs and problems "
            "to Kestrova.");
  EXPECT_EQ(desktop_->boxes()[0].buttons, app::MessageButtons::kOk);
}

TEST_F(CommandsTest, ClearCodeCacheAsksFirstAndClearsOnlyOnYes) {
  const std::string html = upload::cacheFilePath(upload::CodeKind::kHtml);
  std::ofstream(html) << "<a href=\"i\"><img src=\"t\" border=0></a><a href=\"j\"><img src=\"u\" border=0></a>";
  desktop_->answerNext(MessageAnswer::kNo);
  run(shell::kCommandClearCache);
  EXPECT_EQ(desktop_->boxes().at(0).caption, "Are you sure?");
  EXPECT_EQ(desktop_->boxes().at(0).text, upload::kClearCacheQuestion);
  run(shell::kCommandViewHtml);
  ASSERT_EQ(desktop_->viewers().size(), 1u);
  EXPECT_EQ(desktop_->viewers()[0].first, "HTML Codes");
  EXPECT_EQ(desktop_->viewers()[0].second,
            "<a href=\"i\"><img src=\"t\" border=0></a>\r\n<a href=\"j\"><img src=\"u\" border=0></a>");

  desktop_->answerNext(MessageAnswer::kYes);
  run(shell::kCommandClearCache);
  run(shell::kCommandViewBbcode);
  EXPECT_EQ(desktop_->viewers()[1], (std::pair<std::string, std::string>{"BBCODE", ""}));
  std::ifstream f(html);
  EXPECT_EQ(f.peek(), std::ifstream::traits_type::eof());
}

TEST_F(CommandsTest, CancelledSignInDialogLeavesLoginUntouched) {
  state_->login.username = "before";
  state_->login.hashedPassword = "0123456789abcdef0123456789abcdef";
  desktop_->scriptSignIn({false, "x", "y", true});
  EXPECT_EQ(run(shell::kCommandLogin), 0);
  EXPECT_EQ(state_->login.username, "before");
  EXPECT_EQ(state_->login.hashedPassword, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(CommandsTest, AlbumPageOpensForTheSelectedAlbumOnlyOnDoubleClick) {
  state_->login.username = "anna";
  state_->login.usergroup = "members";
  desktop_->albums().addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
  desktop_->albums().addAlbum("42", std::make_unique<app::Album>(42, "Trip", ""));
  run(shell::kCommandAlbumList, shell::kListDoubleClick);  // nothing selected: nothing opens
  desktop_->albums().select(0);
  run(shell::kCommandAlbumList, 1);  // a single click's notification
  run(shell::kCommandAlbumList, shell::kListDoubleClick);
  desktop_->albums().select(1);
  run(shell::kCommandAlbumList, shell::kListDoubleClick);
  EXPECT_EQ(desktop_->openedAddresses(),
            (std::vector<std::string>{"http://kestrova.com/members/anna/view.php?aid=0",
                                      "http://kestrova.com/members/anna/view.php?aid=42"}));
}

TEST_F(CommandsTest, CloseHidesToTheTrayOnceAndDoubleClickThenReleaseRestores) {
  shell::onCloseRequest(*state_);
  shell::onCloseRequest(*state_);  // already hidden: nothing
  EXPECT_TRUE(state_->inTray);
  shell::onTrayButtonUp(*state_);  // a single click does nothing
  EXPECT_TRUE(state_->inTray);
  shell::onTrayDoubleClick(*state_);
  shell::onTrayButtonUp(*state_);
  EXPECT_FALSE(state_->inTray);
  EXPECT_FALSE(state_->trayDoubleClicked);
  EXPECT_EQ(desktop_->trayCalls(), (std::vector<std::string>{"minimise", "restore"}));
}

int failingStartup(uint16_t, uint16_t*) { return 10091; }

TEST_F(CommandsTest, NetworkStartFailureEndsWithCodeOneBeforeAnyServiceRequest) {
  platform::setSocketStartupForTesting(failingStartup);
  const bool started = shell::startProgram(*state_);
  platform::setSocketStartupForTesting(nullptr);
  EXPECT_FALSE(started);
  ASSERT_EQ(desktop_->boxCount(), 1u);  // no version check, no saved sign-in
  EXPECT_EQ(desktop_->boxes()[0].text, "Error initializing Winsock.\r\n\r\nThe application will now close.");
  EXPECT_EQ(desktop_->boxes()[0].caption, "Winsock Error");
  EXPECT_EQ(desktop_->endRequests(), std::vector<int>{1});
  EXPECT_EQ(desktop_->checkedMenuItems(), std::vector<int>{shell::kCommandThumb200});
}

class SignInFromDialogTest : public CommandsTest {
 protected:
  void SetUp() override {
    CommandsTest::SetUp();
    if (!service_.running()) GTEST_SKIP() << "the local service stand-in needs php";
    ASSERT_TRUE(app::parseServiceEndpoint(service_.address(), &state_->service));
  }
  bool savedFileExists() const { return platform::pathExists(app::dataPath("logininfo.xml")); }
  testsupport::DevService service_;
};

TEST_F(SignInFromDialogTest, LogInSignsInAndSavesOnlyWhenAsked) {
  desktop_->scriptSignIn({true, "demo", "demo", false});
  EXPECT_EQ(run(shell::kCommandLogin), 1);
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.hashedPassword, testsupport::DevService::kDigest);
  EXPECT_EQ(state_->albumList().count(), 4);
  EXPECT_FALSE(savedFileExists());

  // A failed sign-in with the box ticked writes nothing either.
  desktop_->scriptSignIn({true, "demo", "wrong", true});
  EXPECT_EQ(run(shell::kCommandLogin), 1);
  EXPECT_FALSE(state_->signedIn);
  EXPECT_FALSE(savedFileExists());

  desktop_->scriptSignIn({true, "demo", "demo", true});
  run(shell::kCommandLogin);
  EXPECT_TRUE(savedFileExists());
}

}  // namespace
