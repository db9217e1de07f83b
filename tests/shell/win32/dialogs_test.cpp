// The link-code viewers and Clear Code Cache, driven as a user would: the
// driver reads the viewer, edits it, presses its buttons. (The sign-in dialog is
// driven against the service stand-in in service_test.cpp.)
#include <gtest/gtest.h>

#include "shell/win32/gui_support.h"
#include "shell/win32/resources/resource.h"
#include "support/file_text.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

using LinkCodes = MainWindowTest;
using upload::CodeKind;

std::string clipboardText() {
  std::string text = "(clipboard not opened)";
  if (!OpenClipboard(nullptr)) return text;
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* p = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  text = p ? p : "";
  if (p) GlobalUnlock(data);
  CloseClipboard();
  return text;
}

TEST_F(LinkCodes, EachViewerShowsItsCacheAndCopiesAllItShowsAndClearAsksFirst) {
  // Far longer than any fixed buffer would take (an early one held 2046 characters).
  std::string html;
  for (int i = 0; i < 400; ++i) {
    html += "<a href=\"http://127.0.0.1/f/" + std::to_string(i) + "-pic.png\"><img src=\"http://127.0.0.1/f/thumbs/" +
            std::to_string(i) + "-pic.jpg\" border=0></a>";
  }
  testsupport::writeFileBytes(upload::cacheFilePath(CodeKind::kHtml), html);
  testsupport::writeFileBytes(upload::cacheFilePath(CodeKind::kBbcode),
                              "[URL=i1][IMG]t1[/IMG][/URL][URL=i2][IMG]t2[/IMG][/URL]");
  const std::string htmlShown = upload::viewerText(CodeKind::kHtml);
  const std::string bbShown = "[URL=i1][IMG]t1[/IMG][/URL]\r\n[URL=i2][IMG]t2[/IMG][/URL]";
  ASSERT_GT(htmlShown.size(), 40000u);

  // Each viewer, found by its caption, is read, edited when `edit` is set,
  // copied, and closed with `close`.
  std::vector<std::string> shown;
  auto viewer = [&shown](std::string edit, int close) {
    return [&shown, edit, close](HWND dialog) {
      shown.push_back(itemText(dialog, IDC_CODES));
      if (!edit.empty()) SetDlgItemTextA(dialog, IDC_CODES, edit.c_str());
      pressButton(dialog, IDC_COPY);
      pressButton(dialog, close);
    };
  };
  ModalDriver driver;
  driver.on("HTML Codes", viewer("", IDC_CLOSE));
  driver.on("BBCODE", viewer("[URL=mine][IMG]edited[/IMG][/URL]", IDCANCEL));
  command(40007);
  EXPECT_TRUE(clipboardText() == htmlShown) << "the clipboard holds what the viewer showed, all of it";
  command(40008);
  EXPECT_EQ(clipboardText(), "[URL=mine][IMG]edited[/IMG][/URL]");

  driver.answer("Are you sure?", IDNO);
  command(40009);
  command(40008);  // unchanged: neither the edit nor the declined clear touched the file
  driver.answer("Are you sure?", IDYES);
  command(40009);
  command(40007);
  EXPECT_TRUE(shown == (std::vector<std::string>{htmlShown, bbShown, bbShown, ""})) << "what each viewer showed";
  EXPECT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(testsupport::readFileBytes(upload::cacheFilePath(CodeKind::kBbcode)), "");
}

}  // namespace
}  // namespace guitest
