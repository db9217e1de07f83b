// The sign-in dialog and the link-code viewers, driven as a user would: the
// driver fills the fields and presses the buttons while the dialogs run.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "shell/win32/dialogs.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/resources/resource.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

using LinkCodeViewer = MainWindowTest;

constexpr char kSignInTitle[] = "Sign In to Kestrova";

std::string itemText(HWND dialog, int id) { return win32::windowText(GetDlgItem(dialog, id)); }

std::string clipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return "(clipboard not opened)";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// Fills the sign-in dialog and presses a button; records what it found there.
struct SignInScript {
  SignInScript(std::string user, std::string pass, bool tickBox = false, int press = IDOK)
      : username(std::move(user)), password(std::move(pass)), tick(tickBox), button(press) {}

  std::string username;
  std::string password;
  bool tick = false;
  int button = IDOK;
  std::vector<std::string> found;  // the fields as the dialog opened: user, password, box

  ModalDriver::Handler handler() {
    return [this](HWND dialog, int) {
      found = {itemText(dialog, IDC_USERNAME), itemText(dialog, IDC_PASSWORD),
               SendDlgItemMessageA(dialog, IDC_AUTO_LOGIN, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : ""};
      SetDlgItemTextA(dialog, IDC_USERNAME, username.c_str());
      SetDlgItemTextA(dialog, IDC_PASSWORD, password.c_str());
      if (tick) SendDlgItemMessageA(dialog, IDC_AUTO_LOGIN, BM_CLICK, 0, 0);
      pressButton(dialog, button);
      return true;
    };
  }
};

class SignInDialog : public MainWindowTest {
 protected:
  // Runs the dialog over `login` as `script` plays it; true for Log In.
  bool run(SignInScript& script, app::LoginInfo& login) {
    ModalDriver driver;
    driver.on(kSignInTitle, script.handler());
    const bool loggedIn = desktop->runSignInDialog(login);
    EXPECT_EQ(script.found.size(), 3u) << "the dialog was shown";
    EXPECT_TRUE(driver.unexpected.empty());
    return loggedIn;
  }
};

TEST_F(SignInDialog, LogInStoresTheEntriesAndEmptiesTheDigest) {
  app::LoginInfo login;
  login.usergroup = "members";
  login.hashedPassword = "fe01ce2a7fbac8fafaed7c982a04e229";
  SignInScript script{"demo", "s3cret", true};
  EXPECT_TRUE(run(script, login));
  EXPECT_EQ(login.username, "demo");
  EXPECT_EQ(login.password, "s3cret");
  EXPECT_EQ(login.hashedPassword, "");
  EXPECT_TRUE(login.autoLogin);
  EXPECT_EQ(login.usergroup, "members") << "the dialog writes nothing else";
}

TEST_F(SignInDialog, FieldsStartEmptyEveryTimeAndAnUntickedBoxMeansNoAutomaticSignIn) {
  app::LoginInfo login;
  login.username = "earlier";
  login.password = "before";
  login.autoLogin = true;
  SignInScript script{"second", "pw"};
  EXPECT_TRUE(run(script, login));
  EXPECT_EQ(script.found, (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(login.username, "second");
  EXPECT_FALSE(login.autoLogin);
}

TEST_F(SignInDialog, CancelLeavesTheSignInRecordExactlyAsItWas) {
  app::LoginInfo login;
  login.username = "u";
  login.usergroup = "g";
  login.password = "p";
  login.hashedPassword = "83878c91171338902e0fe0fb97a8c47a";
  login.autoLogin = true;
  SignInScript script{"other", "other", true, IDCANCEL};
  EXPECT_FALSE(run(script, login));
  EXPECT_EQ(login.username, "u");
  EXPECT_EQ(login.usergroup, "g");
  EXPECT_EQ(login.password, "p");
  EXPECT_EQ(login.hashedPassword, "83878c91171338902e0fe0fb97a8c47a");
  EXPECT_TRUE(login.autoLogin);
}

TEST_F(SignInDialog, LongEntriesArriveCutTo99Characters) {
  app::LoginInfo login;
  const std::string user = std::string(100, 'u') + std::string(20, 'x');
  SignInScript script{user, std::string(150, 'p')};
  EXPECT_TRUE(run(script, login));
  EXPECT_EQ(login.username, std::string(99, 'u'));
  EXPECT_EQ(login.password, std::string(99, 'p'));
}

TEST_F(SignInDialog, TheLoginCommandAnswersZeroWhenCancelled) {
  SignInScript script{"demo", "demo", false, IDCANCEL};
  ModalDriver driver;
  driver.on(kSignInTitle, script.handler());
  EXPECT_EQ(command(40003), 0);
  EXPECT_FALSE(state().signedIn);
  EXPECT_EQ(script.found.size(), 3u) << "the dialog was shown";
  EXPECT_TRUE(driver.unexpected.empty());
}

// Cache text of `n` codes back to back, as the uploads leave it.
std::string htmlCodes(int n) {
  std::string codes;
  for (int i = 0; i < n; ++i) {
    const std::string id = std::to_string(1000 + i);
    codes += "<a href=\"http://127.0.0.1:8080/files/demo/11/" + id + "-picture.png\"><img src=\"http://127.0.0.1:8080/files/demo/11/thumbs/" + id + "-picture.jpg\" border=0></a>";
  }
  return codes;
}

void emptyClipboard() {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

TEST_F(LinkCodeViewer, CopyPutsTheWholeTextOnTheClipboardOneCodePerLine) {
  const int n = 30;
  std::ofstream(upload::cacheFilePath(upload::CodeKind::kHtml)) << htmlCodes(n);
  const std::string expected = upload::viewerText(upload::CodeKind::kHtml);
  ASSERT_GT(expected.size(), 2046u) << "longer than the old 2046-character buffer";
  emptyClipboard();

  std::string shown;
  LRESULT lines = 0;
  bool copyHadFocus = false;
  ModalDriver driver;
  driver.on("HTML Codes", [&](HWND dialog, int tick) {
    if (tick == 1) {
      shown = itemText(dialog, IDC_CODES);
      lines = SendDlgItemMessageA(dialog, IDC_CODES, EM_GETLINECOUNT, 0, 0);
      copyHadFocus = GetFocus() == GetDlgItem(dialog, IDC_COPY);
      pressButton(dialog, IDC_COPY);
      return false;
    }
    pressButton(dialog, IDC_CLOSE);
    return true;
  });
  EXPECT_EQ(command(40007), 0);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(lines, n);
  EXPECT_TRUE(copyHadFocus);
  EXPECT_EQ(clipboardText(), expected);
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(LinkCodeViewer, CopyTakesTheEditedTextAndReopeningShowsTheFileAgain) {
  std::ofstream(upload::cacheFilePath(upload::CodeKind::kBbcode)) << "[URL=i1][IMG]t1[/IMG][/URL][URL=i2][IMG]t2[/IMG][/URL]";
  emptyClipboard();
  std::vector<std::string> shown;
  ModalDriver driver;
  driver.on("BBCODE", [&](HWND dialog, int tick) {
    if (tick == 1) {
      shown.push_back(itemText(dialog, IDC_CODES));
      SetDlgItemTextA(dialog, IDC_CODES, "[URL=mine][IMG]edited[/IMG][/URL]");
      pressButton(dialog, IDC_COPY);
      return false;
    }
    pressButton(dialog, IDC_CLOSE);
    return true;
  });
  command(40008);
  EXPECT_EQ(clipboardText(), "[URL=mine][IMG]edited[/IMG][/URL]");
  command(40008);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "[URL=i1][IMG]t1[/IMG][/URL]\r\n[URL=i2][IMG]t2[/IMG][/URL]");
  EXPECT_EQ(shown[1], shown[0]);
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(LinkCodeViewer, AnEmptyCacheShowsAnEmptyBoxAndEscapeCloses) {
  std::string shown = "(not shown)";
  ModalDriver driver;
  driver.on("HTML Codes", [&](HWND dialog, int) {
    shown = itemText(dialog, IDC_CODES);
    pressButton(dialog, IDCANCEL);
    return true;
  });
  command(40007);
  EXPECT_EQ(shown, "");
  EXPECT_TRUE(driver.unexpected.empty());
}

TEST(Clipboard, CopiesTextOfAnyLengthAndReplacesWhatWasThere) {
  const std::string big(100000, 'c');
  EXPECT_EQ(win32::copyToClipboard(nullptr, "first"), win32::ClipboardResult::kCopied);
  EXPECT_EQ(clipboardText(), "first");
  EXPECT_EQ(win32::copyToClipboard(nullptr, big), win32::ClipboardResult::kCopied);
  EXPECT_EQ(clipboardText(), big);
}

TEST(Clipboard, HeldByAnotherWindowItCannotBeOpened) {
  // Another thread holds the clipboard open; this thread's copy must fail, not wait.
  HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const bool held = OpenClipboard(owner) != FALSE;
    SetEvent(opened);
    WaitForSingleObject(release, 10000);
    if (held) CloseClipboard();
    DestroyWindow(owner);
  });
  ASSERT_EQ(WaitForSingleObject(opened, 10000), WAIT_OBJECT_0);
  const win32::ClipboardResult result = win32::copyToClipboard(nullptr, "blocked");
  SetEvent(release);
  holder.join();
  CloseHandle(opened);
  CloseHandle(release);
  EXPECT_EQ(result, win32::ClipboardResult::kNotOpened);
}

}  // namespace
}  // namespace guitest
