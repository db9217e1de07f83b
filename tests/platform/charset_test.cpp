#include "platform/charset.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/western_code_set.h"

namespace platform {
namespace {

// --- UTF-8 <-> UTF-16, the same on every system -----------------------------------

TEST(Utf8Utf16, EveryEncodedLengthAndBoundaryCodePointRoundTrips) {
  struct Case {
    std::string utf8;
    std::u16string wide;
  };
  const Case cases[] = {
      {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"A\u00e9\u20ac\U0001F600"},  // 1, 2, 3 and 4 bytes; a surrogate pair
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
       u"\u007f\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    bool lossy = true;
    EXPECT_EQ(utf8ToUtf16(c.utf8, &lossy), c.wide);
    EXPECT_FALSE(lossy);
    lossy = true;
    EXPECT_EQ(utf16ToUtf8(c.wide, &lossy), c.utf8);
    EXPECT_FALSE(lossy);
  }
}

TEST(Utf8Utf16, InvalidUtf8BecomesReplacementCharactersAndCountsAsLoss) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"a\x80z", u"a\ufffdz"},               // stray continuation byte
      {"a\xC0\xAFz", u"a\ufffd\ufffdz"},     // overlong '/'
      {"a\xE2\x82", u"a\ufffd\ufffd"},       // cut short at the end
      {"\xED\xA0\x80", u"\ufffd\ufffd\ufffd"},  // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},  // beyond U+10FFFF
      {"\xFF", u"\ufffd"},
  };
  for (const Case& c : cases) {
    bool lossy = false;
    EXPECT_EQ(utf8ToUtf16(c.in, &lossy), c.out) << "input of " << c.in.size() << " bytes";
    EXPECT_TRUE(lossy);
  }
  bool lossy = true;
  EXPECT_EQ(utf8ToUtf16("", &lossy), u"");
  EXPECT_FALSE(lossy);
}

TEST(Utf8Utf16, LoneSurrogatesBecomeReplacementCharacters) {
  bool lossy = false;
  EXPECT_EQ(utf16ToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b", &lossy), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(lossy);
  lossy = false;
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xDC00)), &lossy), "\xEF\xBF\xBD");
  EXPECT_TRUE(lossy);
}

// --- the ANSI code set ----------------------------------------------------------------

class AnsiCodeSetTest : public fptest::WesternCodeSetTest {};

TEST_F(AnsiCodeSetTest, Windows1252ConvertsBothWays) {
  EXPECT_FALSE(ansiIsUtf8());
  bool lossy = true;
  EXPECT_EQ(ansiToUtf16("caf\xE9 \x80", &lossy), u"caf\u00e9 \u20ac");
  EXPECT_FALSE(lossy);
  lossy = true;
  EXPECT_EQ(utf16ToAnsi(u"caf\u00e9 \u20ac", &lossy), "caf\xE9 \x80");
  EXPECT_FALSE(lossy);

  const std::string longAnsi(20000, '\xE9');  // converted completely, not in one fixed-size piece
  EXPECT_EQ(ansiToUtf16(longAnsi), std::u16string(20000, u'\u00e9'));
  EXPECT_EQ(utf16ToAnsi(std::u16string(20000, u'\u00e9')), longAnsi);
}

TEST_F(AnsiCodeSetTest, CharactersOutsideTheCodeSetAreLostNotApproximated) {
  bool lossy = false;
  EXPECT_EQ(utf16ToAnsi(u"x\u0100y", &lossy), "x?y");
  EXPECT_TRUE(lossy);
  lossy = false;
  EXPECT_EQ(utf16ToAnsi(u"\u4e2d", &lossy), "?");
  EXPECT_TRUE(lossy);
}

TEST(AnsiCodeSet, EmptyNameRestoresTheSystemsOwn) {
  const bool systemIsUtf8 = ansiIsUtf8();
  setAnsiCodeSetForTesting(fptest::kWesternCodeSet);
  EXPECT_FALSE(ansiIsUtf8());
  setAnsiCodeSetForTesting("");
  EXPECT_EQ(ansiIsUtf8(), systemIsUtf8);
}

#ifndef _WIN32
TEST(AnsiCodeSet, PosixUtf8CodeSetIsTheIdentity) {
  setAnsiCodeSetForTesting("UTF-8");
  EXPECT_TRUE(ansiIsUtf8());
  EXPECT_EQ(utf16ToAnsi(u"\u0100\u4e2d"), "\xC4\x80\xE4\xB8\xAD");
  EXPECT_EQ(ansiToUtf16("\xC4\x80"), u"\u0100");
  setAnsiCodeSetForTesting("");
}
#endif

}  // namespace
}  // namespace platform
