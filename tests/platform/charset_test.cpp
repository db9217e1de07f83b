#include "platform/charset.h"

#include <gtest/gtest.h>

#include <string>


namespace platform {
namespace {

// Every encoded length and boundary code point round-trips; invalid input of
// either form becomes replacement characters and counts as loss.
TEST(Utf8Utf16, ConvertWholeInputsAndReplaceWhatIsInvalid) {
  const struct {
    std::string utf8;
    std::u16string wide;
    bool roundTrip;  // else lossy, and converted only from the form below
    bool fromUtf8;
  } cases[] = {
      {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"A\u00e9\u20ac\U0001F600", true, true},
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
       u"\u007f\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF", true, true},
      {"a\x80z", u"a\ufffdz", false, true},                            // stray continuation byte
      {"a\xC0\xAFz", u"a\ufffd\ufffdz", false, true},                  // overlong '/'
      {"a\xE2\x82", u"a\ufffd\ufffd", false, true},                    // cut short at the end
      {"\xED\xA0\x80", u"\ufffd\ufffd\ufffd", false, true},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd", false, true},  // beyond U+10FFFF
      {"a\xEF\xBF\xBD" "b", std::u16string(u"a") + char16_t(0xD800) + u"b", false, false},  // lone surrogates
      {"\xEF\xBF\xBD", std::u16string(1, char16_t(0xDC00)), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    bool lossy = c.roundTrip, back = c.roundTrip;
    if (c.fromUtf8) {
      EXPECT_EQ(utf8ToUtf16(c.utf8, &lossy), c.wide);
      EXPECT_EQ(lossy, !c.roundTrip);
    }
    if (!c.fromUtf8 || c.roundTrip) {
      EXPECT_EQ(utf16ToUtf8(c.wide, &back), c.utf8);
      EXPECT_EQ(back, !c.roundTrip);
    }
  }
}

// Long texts convert whole, not in one fixed-size piece, in Windows-1252 on
// every system.
TEST(CodeSet, LongTextsConvertWhole) {
  const std::string ansi = "\x80" + std::string(20000, '\xE9');
  const std::u16string wide = u"\u20ac" + std::u16string(20000, u'\u00e9');
  EXPECT_EQ(CodeSet(1252).toUtf16(ansi), wide);
  EXPECT_EQ(CodeSet(1252).fromUtf16(wide), ansi);
}

}  // namespace
}  // namespace platform
