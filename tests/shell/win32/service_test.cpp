// The program against the local service stand-in: start-up, sign-in through the
// dialog, the saved sign-in at the next start, and a drop of two files uploaded
// into an album. Skipped when FLINGPOST_TEST_SERVICE names no stand-in.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/data_files.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/png_writer.h"
#include "shell/win32/resources/resource.h"
#include "shell/win32_geometry.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

class WithService : public MainWindowTest {
 protected:
  void SetUp() override {
    if (!testService()) GTEST_SKIP() << "FLINGPOST_TEST_SERVICE names no local service stand-in";
    MainWindowTest::SetUp();
  }

  // Signs in as the demo user through File, Login; answers the command's result.
  LRESULT signIn(bool remember) {
    ModalDriver driver;
    driver.on("Sign In to Kestrova", [remember](HWND dialog, int) {
      SetDlgItemTextA(dialog, IDC_USERNAME, "demo");
      SetDlgItemTextA(dialog, IDC_PASSWORD, "demo");
      if (remember) SendDlgItemMessageA(dialog, IDC_AUTO_LOGIN, BM_CLICK, 0, 0);
      pressButton(dialog, IDOK);
      return true;
    });
    const LRESULT answer = command(40003);
    EXPECT_TRUE(driver.unexpected.empty()) << driver.unexpected[0].caption << ": " << driver.unexpected[0].text;
    return answer;
  }

  void expectDemoAlbums() {
    auto& albums = desktop->albumListBox();
    ASSERT_EQ(albums.count(), 4);
    const char* keys[] = {"0", "11", "12", "13"};
    const char* names[] = {"Private", "Holiday", "Cats & Dogs", "Work"};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(albums.itemText(i), keys[i]);
      ASSERT_NE(albums.album(i), nullptr);
      EXPECT_EQ(albums.album(i)->name, names[i]);
    }
  }
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(WithService, StartsSignedOutWith200x200Checked) {
  EXPECT_TRUE(window->start());
  pumpMessages(200);
  EXPECT_TRUE(checked(40012));
  EXPECT_FALSE(checked(40011) || checked(40013) || checked(40014) || checked(40006));
  EXPECT_FALSE(state().signedIn);
  EXPECT_EQ(desktop->albumListBox().count(), 0);
  EXPECT_TRUE(state().versionCheckStarted);
}

TEST_F(WithService, SignInThroughTheDialogListsTheAlbums) {
  ASSERT_TRUE(window->start());
  EXPECT_EQ(signIn(false), 1);
  EXPECT_TRUE(state().signedIn);
  EXPECT_EQ(state().login.hashedPassword, "fe01ce2a7fbac8fafaed7c982a04e229");
  expectDemoAlbums();
  ASSERT_FALSE(desktop->progress.empty());
  EXPECT_EQ(desktop->progress[0].text, "Attempting to log in as demo");
  for (HWND w : desktop->progressHandles) EXPECT_FALSE(IsWindow(w)) << "the progress window is gone";
  EXPECT_FALSE(std::ifstream(app::dataPath(app::kLoginInfoFile)).good()) << "the box was not ticked";
}

TEST_F(WithService, ARememberedSignInRepeatsItselfAtTheNextStart) {
  ASSERT_TRUE(window->start());
  ASSERT_EQ(signIn(true), 1);
  ASSERT_TRUE(std::ifstream(app::dataPath(app::kLoginInfoFile)).good());

  // The next run of the program, in the same folder.
  window.reset();
  pumpMessages(20);
  desktop = std::make_shared<RecordingDesktop>(GetModuleHandleA(nullptr));
  window = std::make_unique<win32::MainWindow>(GetModuleHandleA(nullptr), desktop);
  state().service = *testService();
  window->create();
  ModalDriver driver;
  ASSERT_TRUE(window->start());
  EXPECT_TRUE(state().signedIn);
  EXPECT_EQ(state().login.username, "demo");
  expectDemoAlbums();
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(WithService, TwoFilesDroppedOnAnAlbumAreUploadedAndTheirCodesCached) {
  ASSERT_TRUE(window->start());
  ASSERT_EQ(signIn(false), 1);
  const std::string first = dir.file("first.png");
  const std::string second = dir.file("second.png");
  ASSERT_TRUE(writeSamplePicture(first, 64));
  ASSERT_TRUE(writeSamplePicture(second, 48));
  desktop->progress.clear();
  desktop->progressWindows.clear();
  desktop->progressHandles.clear();
  desktop->progressScreenshot = "progress-window.png";

  ModalDriver driver;
  driver.answer("Are you sure?", IDYES);
  RECT holiday{};
  SendMessageA(list(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&holiday));
  SendMessageA(list(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(makeDrop({first, second}, POINT{holiday.left + 30, holiday.top + 20})), 0);
  pumpMessages(20);

  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].text, "Upload 2 images to album\r\nHoliday?");
  EXPECT_TRUE(driver.unexpected.empty()) << driver.unexpected[0].caption << ": " << driver.unexpected[0].text;

  ASSERT_EQ(desktop->progress.size(), 6u);
  EXPECT_EQ(desktop->progress[0].text, "Preparing Uploads");
  EXPECT_EQ(desktop->progress[1].bar, 5);
  EXPECT_EQ(desktop->progress[2].text, "Uploading file: first.png");
  EXPECT_EQ(desktop->progress[3].bar, 50);
  EXPECT_EQ(desktop->progress[4].text, "Uploading file: second.png");
  EXPECT_EQ(desktop->progress[5].bar, 100);
  ASSERT_EQ(desktop->progressWindows.size(), 1u);
  RECT mainRect{};
  GetWindowRect(hwnd(), &mainRect);
  const app::Rect expected = shell::statusWindowRect(app::Rect{mainRect.left, mainRect.top, mainRect.right, mainRect.bottom});
  EXPECT_EQ(desktop->progressWindows[0].left, expected.left);
  EXPECT_EQ(desktop->progressWindows[0].top, expected.top);
  EXPECT_FALSE(IsWindow(desktop->progressHandles[0])) << "the progress window is gone";

  const std::string html = readFile(upload::cacheFilePath(upload::CodeKind::kHtml));
  const std::string bb = readFile(upload::cacheFilePath(upload::CodeKind::kBbcode));
  EXPECT_EQ(occurrences(html, "<a href=\""), 2u) << html;
  EXPECT_EQ(occurrences(html, "</a><a"), 1u) << "two codes back to back";
  EXPECT_EQ(occurrences(html, "/files/demo/11/"), 4u) << "image and thumbnail of both, in album 11";
  EXPECT_LT(html.find("-first.png"), html.find("-second.png"));
  EXPECT_EQ(occurrences(bb, "[URL="), 2u) << bb;
}

}  // namespace
}  // namespace guitest
