#include "app/app_state.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/data_files.h"
#include "app/temp_work_dir.h"
#include "support/file_text.h"
#include "support/scripted_desktop.h"

namespace {

using app::Rect;

// KESTROVA_SERVICE as a test wants it, restored afterwards.
class ScopedServiceVariable {
 public:
  explicit ScopedServiceVariable(const char* value) {
    if (const char* old = getenv("KESTROVA_SERVICE")) {
      had_ = true;
      old_ = old;
    }
    if (value) {
      setenv("KESTROVA_SERVICE", value, 1);
    } else {
      unsetenv("KESTROVA_SERVICE");
    }
  }
  ~ScopedServiceVariable() {
    if (had_) {
      setenv("KESTROVA_SERVICE", old_.c_str(), 1);
    } else {
      unsetenv("KESTROVA_SERVICE");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

class AppStateTest : public ::testing::Test {
 protected:
  testsupport::TempWorkDir dir_;
  std::shared_ptr<testsupport::ScriptedDesktop> desktop_ = std::make_shared<testsupport::ScriptedDesktop>();
};

TEST_F(AppStateTest, CentresTheStartRectangleOnTheDesktop) {
  desktop_->setDesktopRect({0, 0, 1024, 768});
  app::AppState state(desktop_);
  EXPECT_EQ(state.placement, (Rect{412, 134, 612, 634}));

  desktop_->setDesktopRect({0, 0, 1920, 1080});
  app::AppState wide(desktop_);
  EXPECT_EQ(wide.placement, (Rect{860, 290, 1060, 790}));
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

TEST_F(AppStateTest, StartsSignedOutWithTheDefaultOptions) {
  ScopedServiceVariable unset(nullptr);
  app::AppState state(desktop_);
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

TEST_F(AppStateTest, CreatesTheDataFolderAndEmptiesTheLinkCodeCache) {
  {
    app::AppState first(desktop_);
  }
  ASSERT_TRUE(std::filesystem::is_directory("data"));
  EXPECT_EQ(app::dataPath("userdata.xml"), "data/userdata.xml");
  // Codes from an earlier run are gone at the next start; other files stay.
  std::ofstream("data/htmlcodes.txt") << "<a href=\"x\">old</a>\n";
  std::ofstream("data/bbcodes.txt") << "[url=x]old[/url]\n";
  std::ofstream("data/logininfo.xml") << "kept";
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

TEST(ServiceEndpoint, ReadsHostAndOptionalPort) {
  app::ServiceEndpoint e;
  ASSERT_TRUE(app::parseServiceEndpoint("127.0.0.1:8080", &e));
  EXPECT_EQ(e.host, "127.0.0.1");
  EXPECT_EQ(e.port, 8080);
  ASSERT_TRUE(app::parseServiceEndpoint("staging.invalid", &e));
  EXPECT_EQ(e.host, "staging.invalid");
  EXPECT_EQ(e.port, 80);
  ASSERT_TRUE(app::parseServiceEndpoint("h:65535", &e));
  EXPECT_EQ(e.port, 65535);
}

TEST(ServiceEndpoint, RejectsMalformedTextsAndKeepsTheOldValue) {
  for (const char* text : {"", ":80", "host:", "host:0", "host:65536", "host:99999999", "host:8o", "host:80:1",
                           "host:-1", "a b:80", "host/path", "[::1]:80", "host:+80"}) {
    app::ServiceEndpoint e;
    e.host = "before";
    e.port = 1234;
    EXPECT_FALSE(app::parseServiceEndpoint(text, &e)) << text;
    EXPECT_EQ(e.host, "before") << text;
    EXPECT_EQ(e.port, 1234) << text;
  }
}

TEST(ServiceEndpoint, EnvironmentVariableReplacesTheDefault) {
  {
    ScopedServiceVariable set("127.0.0.1:9");
    const app::ServiceEndpoint e = app::serviceEndpoint();
    EXPECT_EQ(e.host, "127.0.0.1");
    EXPECT_EQ(e.port, 9);
  }
  {
    ScopedServiceVariable malformed("127.0.0.1:none");
    EXPECT_EQ(app::serviceEndpoint().host, "kestrova.com");
    EXPECT_EQ(app::serviceEndpoint().port, 80);
  }
  ScopedServiceVariable unset(nullptr);
  EXPECT_EQ(app::serviceEndpoint().host, "kestrova.com");
}

TEST(ServiceEndpoint, SiteRootCarriesThePortOnlyWhenNotEighty) {
  app::ServiceEndpoint e;
  EXPECT_EQ(e.siteRoot(), "http://kestrova.com/");
  e.host = "127.0.0.1";
  e.port = 8080;
  EXPECT_EQ(e.siteRoot(), "http://127.0.0.1:8080/");
}

TEST_F(AppStateTest, TakesTheServiceFromTheEnvironmentAtConstruction) {
  ScopedServiceVariable set("127.0.0.1:4321");
  app::AppState state(desktop_);
  EXPECT_EQ(state.service.host, "127.0.0.1");
  EXPECT_EQ(state.service.port, 4321);
}

}  // namespace
