#include "app/app_state.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "app/data_files.h"
#include "support/file_text.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"

namespace {

using app::Rect;

// KESTROVA_SERVICE as a test wants it (null: unset), restored afterwards.
class ScopedServiceVariable {
 public:
  explicit ScopedServiceVariable(const char* value) {
    if (const char* old = getenv("KESTROVA_SERVICE")) old_ = old;
    set(value);
  }
  ~ScopedServiceVariable() { set(old_.empty() ? nullptr : old_.c_str()); }

 private:
  static void set(const char* value) { value ? setenv("KESTROVA_SERVICE", value, 1) : unsetenv("KESTROVA_SERVICE"); }
  std::string old_;
};

class AppStateTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir_{true};
  std::shared_ptr<testsupport::ScriptedDesktop> desktop_ = std::make_shared<testsupport::ScriptedDesktop>();
};

TEST_F(AppStateTest, StartsSignedOutWithTheDefaultsCentredOnTheDesktop) {
  // The front-end chooses the service; the state never reads the environment.
  ScopedServiceVariable set("127.0.0.1:4321");
  desktop_->setDesktopRect({0, 0, 1024, 768});
  app::AppState state(desktop_);
  EXPECT_EQ(state.placement, (Rect{412, 134, 612, 634}));
  EXPECT_STREQ(state.className, "Flingpost");
  EXPECT_STREQ(state.title, "Kestrova Uploader");
  EXPECT_EQ(state.windowStyle, 0x10CC0000u);
  EXPECT_FALSE(state.signedIn);
  EXPECT_TRUE(state.promptBeforeUpload);
  EXPECT_FALSE(state.inTray);
  EXPECT_FALSE(state.trayDoubleClicked);
  EXPECT_EQ(state.thumbnailSize, 200);
  EXPECT_EQ(state.uploadUrl, "");
  EXPECT_EQ(state.login.username, "");
  EXPECT_EQ(state.login.usergroup, "");
  EXPECT_EQ(state.login.password, "");
  EXPECT_EQ(state.login.hashedPassword, "");
  EXPECT_FALSE(state.login.autoLogin);
  EXPECT_FALSE(state.versionCheckStarted);
  EXPECT_EQ(state.service.host, "kestrova.com");
  EXPECT_EQ(state.service.port, 80);
  EXPECT_EQ(&state.albumList(), &desktop_->albumList());
}

TEST(CentreOnDesktop, KeepsTheSizeAndTruncatesHalvesTowardZero) {
  // Odd sizes: the rounding must not change the width or the height.
  EXPECT_EQ(app::centreOnDesktop({0, 0, 201, 501}, {0, 0, 1024, 768}), (Rect{411, 133, 612, 634}));
  // A desktop smaller than the window: negative halves round toward zero (-50,
  // not -51), which is what a signed C division always gave here.
  EXPECT_EQ(app::centreOnDesktop({0, 0, 201, 500}, {0, 0, 100, 300}), (Rect{-50, -100, 150, 400}));
  // Only the desktop's size counts, not where its rectangle starts.
  EXPECT_EQ(app::centreOnDesktop({5, 7, 205, 507}, {100, 100, 1124, 868}), (Rect{412, 134, 612, 634}));
}

TEST_F(AppStateTest, CreatesTheDataFolderAndEmptiesTheLinkCodeCache) {
  { app::AppState first(desktop_); }
  ASSERT_TRUE(std::filesystem::is_directory("data"));
  EXPECT_EQ(app::dataPath("userdata.xml"), "data/userdata.xml");
  // Codes from an earlier run are gone at the next start; other files stay.
  testsupport::writeFileBytes("data/htmlcodes.txt", "<a href=\"x\">old</a>\n");
  testsupport::writeFileBytes("data/bbcodes.txt", "[url=x]old[/url]\n");
  testsupport::writeFileBytes("data/logininfo.xml", "kept");
  app::AppState second(desktop_);
  EXPECT_TRUE(std::filesystem::exists("data/htmlcodes.txt"));
  EXPECT_TRUE(std::filesystem::exists("data/bbcodes.txt"));
  EXPECT_EQ(testsupport::readFileBytes("data/htmlcodes.txt"), "");
  EXPECT_EQ(testsupport::readFileBytes("data/bbcodes.txt"), "");
  EXPECT_EQ(testsupport::readFileBytes("data/logininfo.xml"), "kept");
}

TEST_F(AppStateTest, RefusesToRunWithoutADesktop) {
  EXPECT_THROW(app::AppState state(nullptr), std::invalid_argument);
}

TEST(ServiceEndpoint, ReadsHostAndOptionalPortAndRejectsAnythingElseUntouched) {
  struct Case {
    const char* text;
    const char* host;  // null: rejected
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", 8080}, {"staging.invalid", "staging.invalid", 80}, {"h:65535", "h", 65535},
      {"", nullptr, 0}, {":80", nullptr, 0}, {"host:", nullptr, 0}, {"host:0", nullptr, 0},
      {"host:65536", nullptr, 0}, {"host:99999999", nullptr, 0}, {"host:8o", nullptr, 0},
      {"host:80:1", nullptr, 0}, {"host:-1", nullptr, 0}, {"a b:80", nullptr, 0}, {"host/path", nullptr, 0},
      {"[::1]:80", nullptr, 0}, {"host:+80", nullptr, 0},
  };
  for (const Case& c : cases) {
    app::ServiceEndpoint e;
    e.host = "before";
    e.port = 1234;
    EXPECT_EQ(app::parseServiceEndpoint(c.text, &e), c.host != nullptr) << c.text;
    EXPECT_EQ(e.host, c.host ? c.host : "before") << c.text;
    EXPECT_EQ(e.port, c.host ? c.port : 1234) << c.text;
  }
}

TEST(ServiceEndpoint, TheOptionWinsThenTheEnvironmentAndAMalformedTextIsNeverPassedOver) {
  struct Case {
    const char* option;    // null: not given
    const char* variable;  // null: unset
    const char* host;      // null: refused
    uint16_t port;
    const char* problem;
  };
  const Case cases[] = {
      {nullptr, nullptr, "kestrova.com", 80, ""},
      {nullptr, "", nullptr, 0, "KESTROVA_SERVICE is \"\", which is not HOST[:PORT]"},
      {nullptr, "127.0.0.1:4321", "127.0.0.1", 4321, ""},
      {"localhost:99", "127.0.0.1:4321", "localhost", 99, ""},
      {"localhost:99", "127.0.0.1:abc", "localhost", 99, ""},
      {nullptr, "127.0.0.1:abc",  nullptr, 0, "KESTROVA_SERVICE is \"127.0.0.1:abc\", which is not HOST[:PORT]"},
      {"a b", "127.0.0.1:4321", nullptr, 0, "--service is \"a b\", which is not HOST[:PORT]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option ? c.option : "-") + " " + (c.variable ? c.variable : "-"));
    ScopedServiceVariable variable(c.variable);
    const std::string option = c.option ? c.option : "";
    app::ServiceEndpoint e;
    std::string problem;
    EXPECT_EQ(app::chooseServiceEndpoint(c.option ? &option : nullptr, &e, &problem), c.host != nullptr);
    EXPECT_EQ(e.host, c.host ? c.host : "kestrova.com");
    EXPECT_EQ(e.port, c.host ? c.port : 80);
    EXPECT_EQ(problem.substr(0, c.host ? problem.size() : strlen(c.problem)), c.problem);
  }
}

TEST(ServiceEndpoint, SiteRootCarriesThePortOnlyWhenNotEighty) {
  app::ServiceEndpoint e;
  EXPECT_EQ(e.siteRoot(), "http://kestrova.com/");
  e.host = "127.0.0.1";
  e.port = 8080;
  EXPECT_EQ(e.siteRoot(), "http://127.0.0.1:8080/");
}

}  // namespace
