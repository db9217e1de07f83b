#include "component/base/encoded_string.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/western_code_set.h"

namespace component {
namespace {

using fptest::kUtf8AMacron;
using fptest::kUtf8CjkMiddle;
using fptest::kUtf8EAcute;
using fptest::kUtf8Euro;

class EncodedStringTest : public fptest::WesternCodeSetTest {};

void expectEmpty(EncodedString& s) {
  EXPECT_TRUE(s.isEmpty());
  EXPECT_EQ(s.charCount(), 0);
  EXPECT_STREQ(s.getAnsi(), "");
  EXPECT_STREQ(s.getUtf8(), "");
  ASSERT_NE(s.getUtf16(), nullptr);
  EXPECT_EQ(s.getUtf16()[0], u'\0');
  EXPECT_TRUE(s.fitsAnsi());
  EXPECT_EQ(s.ansiSize(), 0);
  EXPECT_EQ(s.utf8Size(), 0);
}

TEST_F(EncodedStringTest, NewClearedOrNullSetValueIsEmptyInEveryForm) {
  EncodedString fresh;
  expectEmpty(fresh);

  EncodedString s;
  s.setUtf8(kUtf8AMacron);
  EXPECT_FALSE(s.fitsAnsi());
  s.clear();
  expectEmpty(s);

  s.setUtf8("before");
  s.setUtf8(nullptr);
  expectEmpty(s);
  s.setAnsi("before");
  s.setAnsi("");
  expectEmpty(s);
  s.setUtf16(u"before");
  s.setUtf16(nullptr);
  expectEmpty(s);
}

TEST_F(EncodedStringTest, TwoByteUtf8CharacterCountsOnceAndIsOneAnsiByte) {
  EncodedString s;
  s.setUtf8(kUtf8EAcute);
  EXPECT_EQ(s.charCount(), 1);  // counted in UTF-16 units
  EXPECT_STREQ(s.getAnsi(), "\xE9");
  EXPECT_EQ(s.ansiSize(), 1);
  EXPECT_EQ(s.charCount(), 1);  // counted in ANSI bytes

  EncodedString wide;
  wide.setUtf16(u"\u00e9");
  EXPECT_STREQ(wide.getAnsi(), "\xE9");
}

TEST_F(EncodedStringTest, AnsiTextConvertsToUtf8AndUtf16) {
  EncodedString s;
  s.setAnsi("caf\xE9 \x80");
  EXPECT_EQ(s.charCount(), 6);
  EXPECT_EQ(std::string(s.getUtf8()), std::string("caf") + kUtf8EAcute + " " + kUtf8Euro);
  EXPECT_EQ(std::u16string(s.getUtf16()), u"caf\u00e9 \u20ac");
  EXPECT_STREQ(s.getAnsi(), "caf\xE9 \x80") << "the set form stays as it was";
  EXPECT_TRUE(s.fitsAnsi());
}

TEST_F(EncodedStringTest, SetTextPicksTheFormByItsFlag) {
  EncodedString s;
  s.setText("\xC3\xA9", true);
  EXPECT_STREQ(s.getAnsi(), "\xE9");
  s.setText("\xC3\xA9", false);  // two ANSI characters this time
  EXPECT_EQ(s.charCount(), 2);
  EXPECT_EQ(std::u16string(s.getUtf16()), u"\u00c3\u00a9");
}

TEST_F(EncodedStringTest, FitsAnsiTellsWhetherTheCodePageHoldsEveryCharacter) {
  EncodedString euro;
  euro.setUtf8(kUtf8Euro);
  EXPECT_TRUE(euro.fitsAnsi());
  EXPECT_STREQ(euro.getAnsi(), "\x80");

  // A best-fit 'A' for U+0100 would open or name a different file.
  EncodedString macron;
  macron.setUtf8((std::string("x") + kUtf8AMacron + ".jpg").c_str());
  EXPECT_FALSE(macron.fitsAnsi());
  EXPECT_FALSE(macron.fitsAnsi()) << "the cached answer";
  EXPECT_EQ(std::string(macron.getAnsi()), "x?.jpg");
  EXPECT_EQ(std::string(macron.getUtf8()), std::string("x") + kUtf8AMacron + ".jpg") << "UTF-8 form is kept";

  EncodedString cjk;
  cjk.setUtf16(u"\u4e2d");
  EXPECT_FALSE(cjk.fitsAnsi());
  EXPECT_EQ(std::string(cjk.getUtf8()), kUtf8CjkMiddle);
}

TEST_F(EncodedStringTest, AppendInvalidatesTheOtherFormsAndTheFitness) {
  EncodedString s;
  s.setUtf8((std::string("caf") + kUtf8EAcute).c_str());
  EXPECT_EQ(std::u16string(s.getUtf16()), u"caf\u00e9");  // both Unicode forms cached
  s.appendAnsi(" \xE0 la carte");
  EXPECT_STREQ(s.getAnsi(), "caf\xE9 \xE0 la carte");
  EXPECT_EQ(std::string(s.getUtf8()), std::string("caf") + kUtf8EAcute + " \xC3\xA0 la carte");
  EXPECT_EQ(std::u16string(s.getUtf16()), u"caf\u00e9 \u00e0 la carte");
  EXPECT_EQ(s.charCount(), 15);

  EncodedString t;
  t.setAnsi("\xE9");
  EXPECT_TRUE(t.fitsAnsi());
  EXPECT_EQ(std::u16string(t.getUtf16()), u"\u00e9");  // ANSI and UTF-16 forms cached
  t.appendUtf8(kUtf8AMacron);
  EXPECT_EQ(t.charCount(), 2);
  EXPECT_EQ(std::u16string(t.getUtf16()), u"\u00e9\u0100");
  EXPECT_FALSE(t.fitsAnsi());
  EXPECT_STREQ(t.getAnsi(), "\xE9?");

  // On the empty value every form is valid at first.
  EncodedString a;
  a.appendUtf8(kUtf8Euro);
  EXPECT_STREQ(a.getAnsi(), "\x80");
  EncodedString b;
  b.appendAnsi("\x80");
  EXPECT_EQ(std::string(b.getUtf8()), kUtf8Euro);
}

TEST_F(EncodedStringTest, Utf16RoundTripsThroughUtf8AndBack) {
  const std::u16string text = u"\u0100\u20ac\u00e9 \U0001F600 \u4e2d";
  EncodedString wide;
  wide.setUtf16(text.c_str());
  EXPECT_EQ(wide.charCount(), int(text.size())) << "UTF-16 units, the surrogate pair counts twice";
  const std::string utf8 = wide.getUtf8();
  EXPECT_EQ(utf8, std::string(kUtf8AMacron) + kUtf8Euro + kUtf8EAcute + " \xF0\x9F\x98\x80 " + kUtf8CjkMiddle);

  EncodedString back;
  back.setUtf8(utf8.c_str());
  EXPECT_EQ(std::u16string(back.getUtf16()), text);
  EXPECT_EQ(back.utf8Size(), int(utf8.size()));
}

TEST_F(EncodedStringTest, CopiesAreIndependent) {
  EncodedString a;
  a.setUtf8(kUtf8EAcute);
  EncodedString b(a);
  b.appendUtf8("x");
  EXPECT_STREQ(a.getAnsi(), "\xE9");
  EXPECT_STREQ(b.getAnsi(), "\xE9x");
  a = b;
  EXPECT_EQ(std::string(a.getUtf8()), std::string(kUtf8EAcute) + "x");
}

}  // namespace
}  // namespace component
