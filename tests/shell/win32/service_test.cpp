// The program against the local service stand-in: the start, the sign-in
// dialog, the saved sign-in at the next start, and files dropped on an album,
// named as the code page cannot spell. Skipped when FLINGPOST_TEST_SERVICE
// names no stand-in.
#include <gtest/gtest.h>

#include "app/data_files.h"
#include "app/proxy.h"
#include "platform/files.h"
#include "service/password_digest.h"
#include "shell/commands.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/resources/resource.h"
#include "shell/win32_geometry.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/real_proxy.h"
#include "support/tls_front.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

class WithService : public MainWindowTest {
 protected:
  void SetUp() override {
    if (!testService()) GTEST_SKIP() << "FLINGPOST_TEST_SERVICE names no local service stand-in";
    MainWindowTest::SetUp();
    ASSERT_TRUE(window->start());
  }
  std::vector<std::string> albumKeys() {
    std::vector<std::string> keys;
    for (int i = 0; i < desktop->albumListBox().count(); ++i) keys.push_back(desktop->albumListBox().itemText(i));
    return keys;
  }
  const std::vector<std::string> demoKeys{"0", "11", "12", "13"};
};

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(WithService, StartsSignedOutAndTheDialogSignsInAndSavesOnlyWhenAsked) {
  EXPECT_TRUE(state().versionCheckStarted);
  for (int id : {40011, 40012, 40013, 40014, 40006}) EXPECT_EQ(checked(id), id == 40012) << id;
  EXPECT_FALSE(state().signedIn);
  EXPECT_EQ(albumKeys(), std::vector<std::string>{});

  const std::string kept = "0123456789abcdef0123456789abcdef";
  state().login.hashedPassword = kept;
  const struct {
    std::string user, password;
    bool tick;
    int button;
    const char* box;  // the message box the sign-in shows, if any
    bool signedIn, saved;
    std::string userAfter, passwordAfter;
  } rows[] = {
      {"other", "other", true, IDCANCEL, nullptr, false, false, "", ""},  // Cancel: the record untouched
      {std::string(120, 'u'), std::string(150, 'p'), false, IDOK, "Setup Error", false, false, std::string(99, 'u'),
       std::string(99, 'p')},
      {"demo", "wrong", true, IDOK, "Login Error", false, false, "demo", "wrong"},  // failed: nothing saved
      {"demo", "demo", false, IDOK, nullptr, true, false, "demo", "demo"},
      {"demo", "demo", true, IDOK, nullptr, true, true, "demo", "demo"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.user.substr(0, 10) + " " + r.password.substr(0, 10));
    std::vector<std::string> found;
    ModalDriver driver;
    driver.on("Sign In to Kestrova", [&](HWND dialog) {
      found = {itemText(dialog, IDC_USERNAME), itemText(dialog, IDC_PASSWORD),
               std::to_string(IsDlgButtonChecked(dialog, IDC_AUTO_LOGIN))};
      SetDlgItemTextA(dialog, IDC_USERNAME, r.user.c_str());
      SetDlgItemTextA(dialog, IDC_PASSWORD, r.password.c_str());
      if (r.tick) SendDlgItemMessageA(dialog, IDC_AUTO_LOGIN, BM_CLICK, 0, 0);
      if (r.tick && RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN)) {
        saveScreenshot("sign-in-dialog", captureWindow(dialog));
      }
      pressButton(dialog, r.button);
    });
    if (r.box) driver.answer(r.box, IDOK);
    EXPECT_EQ(command(shell::kCommandLogin), r.button == IDOK ? 1 : 0);
    EXPECT_EQ(found, (std::vector<std::string>{"", "", "0"})) << "the fields start empty every time";
    EXPECT_EQ(driver.boxes.size(), r.box ? 1u : 0u);
    EXPECT_EQ(state().login.username, r.userAfter);
    EXPECT_EQ(state().login.password, r.passwordAfter);
    EXPECT_EQ(state().signedIn, r.signedIn);
    EXPECT_EQ(platform::pathExists(app::dataPath(app::kLoginInfoFile)), r.saved);
    EXPECT_EQ(albumKeys(), r.signedIn ? demoKeys : std::vector<std::string>{});
    if (r.button == IDCANCEL) {
      EXPECT_EQ(state().login.hashedPassword, kept);
    }
  }

  // The next start of the program in the same folder signs in by itself.
  openWindow();
  ModalDriver driver;
  ASSERT_TRUE(window->start());
  EXPECT_TRUE(state().signedIn);
  EXPECT_EQ(state().login.username, "demo");
  EXPECT_EQ(albumKeys(), demoKeys);
}

TEST_F(WithService, DroppedFilesAreUploadedByTheirOwnNamesAndTheirCodesCached) {
  state().login.username = state().login.password = "demo";
  ASSERT_TRUE(shell::signInFromDialog(state()));
  // Names that code page 1252 cannot spell, but the first; and beside the fifth
  // its look-alike in 1252, another picture, which must stay where it is.
  const std::vector<std::string> names{"na\xC3\xAFve.bmp", "\xCF\x88.bmp", "\xE6\x9D\xB1\xE4\xBA\xAC.bmp",
                                       "\xF0\x9F\x8E\x89party.bmp", "\xC5\x82\xC3\xB3" "d\xC5\xBA.bmp",
                                       "l\xC3\xB3" "dz.bmp"};
  std::vector<std::string> files, digests;
  for (size_t i = 0; i < names.size(); ++i) {
    Image picture;
    picture.width = picture.height = int(16 + 8 * i);
    for (int p = 0; p < picture.width * picture.height; ++p) picture.pixels.push_back(uint32_t(p * 40503u) & 0xFFFFFF);
    files.push_back(dir.path() + "\\" + names[i]);
    ASSERT_TRUE(writeFile(files.back(), bitmapFile(picture)));
    digests.push_back(service::PasswordDigest().digestText(bitmapFile(picture)));
  }
  files.pop_back();
  desktop->progress.clear();
  desktop->progressWindows.clear();

  ModalDriver driver;
  driver.answer("Are you sure?", IDYES);
  drop(files, POINT{30, 70});  // on the second album
  EXPECT_EQ(driver.boxes, std::vector<std::string>{"Upload 5 images to album\r\nHoliday?"});
  std::vector<std::string> steps{"Preparing Uploads", "5"};
  for (size_t i = 0; i < files.size(); ++i) {
    steps.insert(steps.end(), {"Uploading file: " + names[i], std::to_string(20 * (i + 1))});
  }
  EXPECT_EQ(desktop->progress, steps);
  ASSERT_EQ(desktop->progressWindows.size(), 1u);
  EXPECT_EQ(desktop->progressWindows[0].second, shell::statusWindowRect(rectOf(hwnd())));
  EXPECT_FALSE(IsWindow(desktop->progressWindows[0].first)) << "the progress window is gone";

  // Each file arrived at the service under its own name, with its own bytes, as
  // the stand-in's uploads.log says (scripts/test names its folder).
  const char* state = getenv("FLINGPOST_TEST_SERVICE_STATE");
  const std::string log = testsupport::readFileBytes(std::string(state ? state : "") + "\\uploads.log");
  for (size_t i = 0; i < files.size(); ++i) {
    const size_t line = log.rfind("\"filename\":\"" + names[i] + "\"");
    ASSERT_NE(line, std::string::npos) << names[i] << " in " << log;
    EXPECT_EQ(log.find("\"md5\":\"" + digests[i] + "\"", line), log.find("\"md5\"", line)) << names[i];
  }
  const std::string html = testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml));
  EXPECT_EQ(occurrences(html, "<a href=\""), 5u) << html;
  EXPECT_EQ(occurrences(html, "</a><a"), 4u) << "the codes back to back";
  EXPECT_EQ(occurrences(html, "/files/demo/11/"), 10u) << "image and thumbnail of each, in album 11";
  EXPECT_LT(html.find("-na%C3%AFve.bmp"), html.find("-%C5%82%C3%B3d%C5%BA.bmp")) << "in drop order";
  EXPECT_EQ(occurrences(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kBbcode)), "[URL="), 5u);
}

// Through proxies: the road through the proxy that scripts/test started (it
// asks for Basic credentials), to the stand-in over http and to the TLS front
// over https; then the current user's Internet Options, read through WinHTTP,
// name a scripted proxy that refuses the tunnel.
TEST_F(WithService, SignsInAndUploadsThroughAProxyAndShowsWhatTheSystemsProxyRefused) {
  testsupport::RealProxy proxy;
  testsupport::TlsFront front;
  if (!proxy.ready() || !front.ready()) GTEST_SKIP() << proxy.whyNot() << front.whyNot();
  const std::string https = "https://localhost:" + std::to_string(front.port(testsupport::TlsFront::kService));
  const std::string file = dir.file("through.bmp");
  ASSERT_TRUE(writeFile(file, bitmapFile(Image{8, 8, std::vector<uint32_t>(64, 0x336699)})));
  std::string url = proxy.url(), why;
  for (const std::string& site : {"http://" + testService()->host + ":" + std::to_string(testService()->port), https}) {
    ASSERT_TRUE(app::parseServiceEndpoint(site, &state().service) && app::chooseProxy(&url, &state().service, &why));
    state().service.caFile = front.caFile();
    state().login.username = state().login.password = "demo";
    ASSERT_TRUE(shell::signInFromDialog(state())) << site;
    ModalDriver driver;
    driver.answer("Are you sure?", IDYES);
    drop({file}, POINT{30, 70});
    EXPECT_EQ(occurrences(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml)),
                          "<a href=\"" + site + "/files/demo/11/"), 1u) << site;
  }
  ModalDriver driver;
  driver.answer("Network Error", IDOK);
  url = proxy.url("wrong");
  EXPECT_FALSE(app::chooseProxy(&url, &state().service, &why) && shell::signInFromDialog(state()));
  testsupport::LoopbackPeer refusing;
  refusing.receiveUntil("\r\n\r\n").send("HTTP/1.1 403 Forbidden\r\n\r\n").close();
  refusing.start();
  const testsupport::SystemProxyScope system(refusing.address(), "<local>");
  ASSERT_TRUE(app::parseServiceEndpoint("https://kestrova.com", &state().service));
  state().service.proxy = app::ProxyChoice::system(state().service.siteRoot(), false);
  EXPECT_FALSE(shell::signInFromDialog(state()));
  ASSERT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(driver.boxes[0].rfind("The proxy " + proxy.address() + " asks for a sign-in to reach localhost:", 0), 0u);
  EXPECT_EQ(driver.boxes[1], "The proxy " + refusing.address() +
                                 " refused the connection to kestrova.com:443: HTTP/1.1 403 Forbidden.");
  EXPECT_NE(refusing.received().find("CONNECT kestrova.com:443 HTTP/1.1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace guitest
