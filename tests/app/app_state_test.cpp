#include "app/app_state.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/file_text.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"

namespace {

using app::Rect;

TEST(AppState, CentresTheWindowAndStartsWithAnEmptyLinkCodeCache) {
  testsupport::TempDir dir(true);
  const auto desktop = std::make_shared<testsupport::ScriptedDesktop>();
  { app::AppState first(desktop); }
  testsupport::writeFileBytes("data/htmlcodes.txt", "<a href=\"x\">old</a>\n");
  testsupport::writeFileBytes("data/bbcodes.txt", "[url=x]old[/url]\n");
  testsupport::writeFileBytes("data/logininfo.xml", "kept");
  app::AppState second(desktop);
  EXPECT_EQ(testsupport::readFileBytes("data/htmlcodes.txt") + testsupport::readFileBytes("data/bbcodes.txt"), "");
  EXPECT_EQ(testsupport::readFileBytes("data/logininfo.xml"), "kept");
  EXPECT_EQ(second.placement, (Rect{412, 134, 612, 634}));
  // A desktop smaller than the window: the halves truncate toward zero.
  EXPECT_EQ(app::centreOnDesktop({0, 0, 201, 500}, {0, 0, 100, 300}), (Rect{-50, -100, 150, 400}));
}

// The option wins over KESTROVA_SERVICE; a text that is not HOST[:PORT] (a port
// from 1 to 65535) is never passed over for another service.
TEST(ServiceEndpoint, TheOptionWinsThenTheEnvironmentAndAMalformedTextStopsTheRun) {
  const char* const before = getenv("KESTROVA_SERVICE");
  const std::string saved = before ? before : "";
  const struct {
    const char *option, *variable;  // null: not given
    const char* result;             // the site root, or the start of the problem
  } cases[] = {
      {nullptr, nullptr, "http://kestrova.com/"},
      {nullptr, "127.0.0.1:4321", "http://127.0.0.1:4321/"},
      {"staging.invalid", "127.0.0.1:abc", "http://staging.invalid/"},
      {"h:65535", nullptr, "http://h:65535/"},
      {nullptr, "", "KESTROVA_SERVICE is \"\", which is not HOST[:PORT]"},
      {nullptr, "127.0.0.1:abc", "KESTROVA_SERVICE is \"127.0.0.1:abc\", which is not HOST[:PORT]"},
  };
  for (const auto& c : cases) {
    c.variable ? setenv("KESTROVA_SERVICE", c.variable, 1) : unsetenv("KESTROVA_SERVICE");
    const std::string option = c.option ? c.option : "";
    app::ServiceEndpoint e;
    std::string problem;
    const bool ok = app::chooseServiceEndpoint(c.option ? &option : nullptr, &e, &problem);
    EXPECT_EQ(ok ? e.siteRoot() : problem.substr(0, strlen(c.result)), c.result);
  }
  for (const std::string bad : {":80", "host:", "host:0", "host:65536", "host:99999999", "host:8o", "host:80:1",
                                "host:+80", "a b:80", "host/path", "user@host", "[::1]:80", "a..b", "h\x01st"}) {
    app::ServiceEndpoint e;
    std::string problem;
    EXPECT_FALSE(app::chooseServiceEndpoint(&bad, &e, &problem)) << bad;
    EXPECT_EQ(problem.substr(0, bad.size() + 16), "--service is \"" + bad + "\",");
    EXPECT_EQ(e.siteRoot(), "http://kestrova.com/") << "a refused text changes nothing";
  }
  before ? setenv("KESTROVA_SERVICE", saved.c_str(), 1) : unsetenv("KESTROVA_SERVICE");
}

}  // namespace
