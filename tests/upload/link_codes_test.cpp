// Link codes from upload replies, the cache files and the viewers' text.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/data_files.h"
#include "platform/files.h"
#include "support/file_text.h"
#include "support/temp_dir.h"
#include "upload/link_code_cache.h"
#include "upload/link_codes.h"

namespace {

class LinkCodesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::createDirectory(app::kDataFolder));
    upload::clearLinkCodes();
  }
  std::string reply() const { return app::dataPath("uploadresponse.xml"); }
  std::string html() const { return upload::cacheFilePath(upload::CodeKind::kHtml); }
  std::string bb() const { return upload::cacheFilePath(upload::CodeKind::kBbcode); }
  bool make(const std::string& doc) {
    testsupport::writeFileBytes(reply(), doc);
    return upload::makeLinkCodes(reply(), html(), bb());
  }
  testsupport::TempDir dir_{true};
};

TEST_F(LinkCodesTest, ReplyBecomesOneHtmlCodeAndOneBbcodeWithTheImageAsLinkTarget) {
  ASSERT_TRUE(make("<?xml version=\"1.0\"?><upload><thumburl>http://h/t.jpg</thumburl>"
                   "<imageurl>http://h/i.jpg</imageurl></upload>"));
  EXPECT_EQ(testsupport::readFileBytes(html()), "<a href=\"http://h/i.jpg\"><img src=\"http://h/t.jpg\" border=0></a>");
  EXPECT_EQ(testsupport::readFileBytes(bb()), "[URL=http://h/i.jpg][IMG]http://h/t.jpg[/IMG][/URL]");
}

TEST_F(LinkCodesTest, SuccessiveRepliesMeetWithoutSeparatorAndViewersBreakThemIntoLines) {
  for (int i = 1; i <= 3; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(make("<upload><thumburl>t" + n + "</thumburl><imageurl>i" + n + "</imageurl></upload>"));
  }
  EXPECT_EQ(testsupport::readFileBytes(html()),
            "<a href=\"i1\"><img src=\"t1\" border=0></a><a href=\"i2\"><img src=\"t2\" border=0></a>"
            "<a href=\"i3\"><img src=\"t3\" border=0></a>");
  EXPECT_EQ(upload::viewerText(upload::CodeKind::kHtml),
            "<a href=\"i1\"><img src=\"t1\" border=0></a>\r\n<a href=\"i2\"><img src=\"t2\" border=0></a>\r\n"
            "<a href=\"i3\"><img src=\"t3\" border=0></a>");
  EXPECT_EQ(upload::viewerText(upload::CodeKind::kBbcode),
            "[URL=i1][IMG]t1[/IMG][/URL]\r\n[URL=i2][IMG]t2[/IMG][/URL]\r\n[URL=i3][IMG]t3[/IMG][/URL]");
}

TEST_F(LinkCodesTest, UnusableRepliesAddNothing) {
  const char* replies[] = {
      "",                                                                          // empty file
      "<notupload><thumburl>t</thumburl><imageurl>i</imageurl></notupload>",       // wrong root
      "<upload><error>nope</error><thumburl>t</thumburl><imageurl>i</imageurl></upload>",
      "<upload><thumburl>t</thumburl></upload>",                                   // no imageurl
      "<upload><thumburl></thumburl><imageurl>i</imageurl></upload>",              // empty thumburl
      "<upload><thumburl><b>t</b></thumburl><imageurl>i</imageurl></upload>",      // not text first
      "<upload><thumburl>t</thumburl><imageurl>i</imageurl>",                      // not well-formed
  };
  for (const char* r : replies) {
    EXPECT_FALSE(make(r)) << r;
    EXPECT_EQ(testsupport::readFileBytes(html()), "") << r;
    EXPECT_EQ(testsupport::readFileBytes(bb()), "") << r;
  }
  std::remove(reply().c_str());
  EXPECT_FALSE(upload::makeLinkCodes(reply(), html(), bb()));
}

TEST_F(LinkCodesTest, EntitiesArriveDecodedAndOrdinaryAddressesStayUnchanged) {
  ASSERT_TRUE(make("<upload><thumburl>http://h/t.jpg?a=1&amp;b=2</thumburl>"
                   "<imageurl>http://h/view.php?id=5&amp;x=%20y</imageurl></upload>"));
  EXPECT_EQ(testsupport::readFileBytes(bb()), "[URL=http://h/view.php?id=5&x=%20y][IMG]http://h/t.jpg?a=1&b=2[/IMG][/URL]");
}

TEST_F(LinkCodesTest, AddressesCannotInjectMarkupIntoThePastedCodes) {
  ASSERT_TRUE(make("<upload><thumburl>http://h/t.jpg\" onerror=\"x</thumburl>"
                   "<imageurl>http://h/[/URL][URL=evil]&lt;script&gt;&#9;</imageurl></upload>"));
  EXPECT_EQ(testsupport::readFileBytes(html()),
            "<a href=\"http://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E%09\">"
            "<img src=\"http://h/t.jpg%22%20onerror=%22x\" border=0></a>");
  EXPECT_EQ(testsupport::readFileBytes(bb()),
            "[URL=http://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E%09][IMG]http://h/t.jpg%22%20onerror=%22x[/IMG][/URL]");
}

TEST_F(LinkCodesTest, ClearEmptiesBothFilesAndMissingFilesViewAsEmpty) {
  ASSERT_TRUE(make("<upload><thumburl>t</thumburl><imageurl>i</imageurl></upload>"));
  EXPECT_TRUE(upload::clearLinkCodes());
  EXPECT_EQ(testsupport::readFileBytes(html()), "");
  EXPECT_EQ(testsupport::readFileBytes(bb()), "");
  std::remove(html().c_str());
  EXPECT_EQ(upload::viewerText(upload::CodeKind::kHtml), "");
}

TEST(LinkCodeJoins, EveryJoinIsBrokenEvenWhenReplacementsAdjoin) {
  EXPECT_EQ(upload::breakJoins("URL][URL][U", upload::CodeKind::kBbcode), "URL]\r\n[URL]\r\n[U");
  EXPECT_EQ(upload::breakJoins("</a><a</a><a", upload::CodeKind::kHtml), "</a>\r\n<a</a>\r\n<a");
  EXPECT_EQ(upload::breakJoins("no joins here", upload::CodeKind::kHtml), "no joins here");
}

}  // namespace
