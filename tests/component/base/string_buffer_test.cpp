#include "component/base/string_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace component {
namespace {

std::string str(const StringBuffer& b) { return std::string(b.getString(), size_t(b.getSize())); }

// --- growth -----------------------------------------------------------------

TEST(StringBufferGrowth, NewBufferHoldsEmptyTextInItsFirst202Bytes) {
  StringBuffer b;
  EXPECT_EQ(b.getCapacity(), 202);
  EXPECT_EQ(b.getGrowthIncrement(), 202);
  EXPECT_EQ(b.getSize(), 0);
  EXPECT_STREQ(b.getString(), "");
}

TEST(StringBufferGrowth, FirstGrowthAddsTheIncrementPlusTerminatorAndHalvesTheNewCapacity) {
  StringBuffer b;
  b.append(std::string(201, 'a').c_str());
  EXPECT_EQ(b.getCapacity(), 202) << "201 characters and the terminator still fit";

  b.append("a");  // 202 characters
  EXPECT_EQ(b.getCapacity(), 405);
  EXPECT_EQ(b.getGrowthIncrement(), 202);

  b.append(std::string(200, 'b').c_str());  // 402: still below 405
  EXPECT_EQ(b.getCapacity(), 405);
  b.append("ccc");  // 405 reaches the capacity: 405 + 202 + 1
  EXPECT_EQ(b.getCapacity(), 608);
  EXPECT_EQ(b.getGrowthIncrement(), 304);
  EXPECT_EQ(b.getSize(), 405);
  EXPECT_EQ(str(b), std::string(202, 'a') + std::string(200, 'b') + "ccc");
}

TEST(StringBufferGrowth, AppendBytesGrowsWithoutTheTerminatorByte) {
  StringBuffer b;
  const std::string bytes(202, 'x');
  b.appendBytes(bytes.data(), 202);
  EXPECT_EQ(b.getCapacity(), 404);
  EXPECT_EQ(b.getGrowthIncrement(), 202);
  EXPECT_EQ(b.getString()[202], '\0');
}

TEST(StringBufferGrowth, IncrementIsCappedAt500000) {
  StringBuffer b;
  b.append(std::string(2000000, 'a').c_str());
  EXPECT_EQ(b.getCapacity(), 2000000 + 202 + 1);
  EXPECT_EQ(b.getGrowthIncrement(), 500000);

  b.append(std::string(203, 'b').c_str());  // exactly reaches the capacity
  EXPECT_EQ(b.getCapacity(), 2000203 + 500000 + 1);
  EXPECT_EQ(b.getGrowthIncrement(), 500000);
}

TEST(StringBufferGrowth, LongAppendSequenceGrowsByAboutHalfNeverMoreThan500000) {
  StringBuffer b;
  const std::string chunk(997, 'q');
  int growths = 0;
  for (int i = 0; i < 6000; ++i) {
    const int lengthBefore = b.getSize();
    const int capacityBefore = b.getCapacity();
    const int incrementBefore = b.getGrowthIncrement();
    b.append(chunk.c_str());
    ASSERT_EQ(b.getSize(), lengthBefore + 997);
    ASSERT_LT(b.getSize(), b.getCapacity()) << "the terminator must fit";
    if (b.getCapacity() == capacityBefore) {
      ASSERT_LT(lengthBefore + 997, capacityBefore);
      continue;
    }
    ++growths;
    ASSERT_GE(lengthBefore + 997, capacityBefore) << "grew although the text fitted";
    ASSERT_EQ(b.getCapacity(), lengthBefore + 997 + incrementBefore + 1);
    const int half = b.getCapacity() / 2;
    ASSERT_EQ(b.getGrowthIncrement(), half < 500000 ? half : 500000);
    ASSERT_LE(b.getCapacity() - b.getSize(), 500001) << "spare room above the cap";
  }
  EXPECT_EQ(b.getGrowthIncrement(), 500000);
  EXPECT_GT(growths, 8);
  EXPECT_LT(growths, 40) << "growth must be geometric until the cap";
  EXPECT_EQ(std::string(b.getString() + 997 * 5999), chunk);
}

// --- appending ---------------------------------------------------------------

TEST(StringBufferAppend, NullAndEmptyArgumentsChangeNothing) {
  StringBuffer b("abc");
  b.append(nullptr);
  b.append("");
  b.appendBytes(nullptr, 5);
  b.appendBytes("xyz", 0);
  b.appendBytes("xyz", -3);
  EXPECT_EQ(str(b), "abc");
  EXPECT_EQ(b.getCapacity(), 202);
}

TEST(StringBufferAppend, AppendBytesKeepsInnerZeroBytesAndTerminates) {
  StringBuffer b;
  b.appendBytes("a\0b", 3);
  EXPECT_EQ(b.getSize(), 3);
  EXPECT_EQ(str(b), std::string("a\0b", 3));
  EXPECT_EQ(b.getString()[3], '\0');
}

TEST(StringBufferAppend, AppendBufferAndCopiesAreIndependent) {
  StringBuffer a("left");
  StringBuffer b("right");
  a.appendBuffer(b);
  EXPECT_EQ(str(a), "leftright");

  StringBuffer copy(a);
  copy.append("!");
  EXPECT_EQ(str(a), "leftright");
  StringBuffer assigned;
  assigned = copy;
  copy.clear();
  EXPECT_EQ(str(assigned), "leftright!");
  StringBuffer& alias = assigned;
  assigned = alias;
  EXPECT_EQ(str(assigned), "leftright!");
}

// A buffer's own text handed back to it must survive the reallocation that the
// append itself causes.
TEST(StringBufferAppend, OwnTextAppendedAcrossReallocation) {
  const std::string start(150, 'k');
  {
    StringBuffer b(start.c_str());
    b.append(b.getString());
    EXPECT_EQ(str(b), start + start);
    EXPECT_GT(b.getCapacity(), 202);
  }
  {
    StringBuffer b((start + "0123456789").c_str());
    b.appendBytes(b.getString() + 100, 60);  // tail of the k's and the digits
    EXPECT_EQ(str(b), start + "0123456789" + std::string(50, 'k') + "0123456789");
  }
  {
    StringBuffer b(start.c_str());
    b.appendBuffer(b);
    EXPECT_EQ(str(b), start + start);
  }
}

TEST(StringBufferAppend, AppendIntFormatsSignedDecimal) {
  StringBuffer b;
  b.appendInt(-1);
  b.append(" ");
  b.appendInt(4294967296LL);
  EXPECT_EQ(str(b), "-1 4294967296");
}

// --- editing ----------------------------------------------------------------

TEST(StringBufferEdit, TrimRemovesBlanksOfAllFourKindsAtBothEndsOnly) {
  StringBuffer b(" \t\r\n inner text \t here\r\n\t ");
  b.trim();
  EXPECT_EQ(str(b), "inner text \t here");

  StringBuffer blanks(" \r\n\t ");
  blanks.trim();
  EXPECT_EQ(blanks.getSize(), 0);
  EXPECT_STREQ(blanks.getString(), "");

  StringBuffer other("\vx\f");  // vertical tab and form feed are not blanks here
  other.trim();
  EXPECT_EQ(str(other), "\vx\f");
}

TEST(StringBufferEdit, TruncateAtLineFeedKeepsCarriageReturnThatTrimThenRemoves) {
  StringBuffer b("first line\r\nsecond line\r\n");
  b.truncateAtChar('\n');
  EXPECT_EQ(str(b), "first line\r");
  b.trim();
  EXPECT_EQ(str(b), "first line");
}

TEST(StringBufferEdit, TruncateAtCharCutsAtFirstOccurrenceOnly) {
  StringBuffer b("a;b;c");
  b.truncateAtChar(';');
  EXPECT_EQ(str(b), "a");

  StringBuffer none("abc");
  none.truncateAtChar(';');
  EXPECT_EQ(str(none), "abc");

  StringBuffer first(";abc");
  first.truncateAtChar(';');
  EXPECT_EQ(first.getSize(), 0);
}

TEST(StringBufferEdit, RemoveCharDropsEveryOccurrence) {
  StringBuffer b("\"quoted\" \"text\"");
  b.removeChar('"');
  EXPECT_EQ(str(b), "quoted text");
  b.removeChar('z');
  EXPECT_EQ(str(b), "quoted text");
}

TEST(StringBufferEdit, ToUpperRaisesAsciiAndLatin1SmallLettersOnly) {
  StringBuffer ascii("abc xyz 0-9 {|}~ ABC");
  ascii.toUpper();
  EXPECT_EQ(str(ascii), "ABC XYZ 0-9 {|}~ ABC");

  // 224..255 lose 32; 128..223 are left alone.
  const unsigned char high[] = {0xE0, 0xE9, 0xFE, 0xFF, 0x80, 0xB5, 0xC9, 0xDF, 0xDE};
  const unsigned char want[] = {0xC0, 0xC9, 0xDE, 0xDF, 0x80, 0xB5, 0xC9, 0xDF, 0xDE};
  StringBuffer latin;
  latin.appendBytes(high, int(sizeof high));
  latin.toUpper();
  EXPECT_EQ(str(latin), std::string(reinterpret_cast<const char*>(want), sizeof want));
}

TEST(StringBufferEdit, ComparisonsAreExactOrCaseBlindAndRejectNull) {
  StringBuffer b("Content-Length");
  EXPECT_TRUE(b.equals("Content-Length"));
  EXPECT_FALSE(b.equals("content-length"));
  EXPECT_FALSE(b.equals("Content-Lengt"));
  EXPECT_FALSE(b.equals("Content-Lengths"));
  EXPECT_FALSE(b.equals(nullptr));
  EXPECT_TRUE(b.equalsIgnoreCase("CONTENT-length"));
  EXPECT_FALSE(b.equalsIgnoreCase("content-len"));
  EXPECT_FALSE(b.equalsIgnoreCase("content-lengthX"));
  EXPECT_FALSE(b.equalsIgnoreCase(nullptr));
  EXPECT_TRUE(b.contains("t-L"));
  EXPECT_FALSE(b.contains("t-l"));
}

TEST(StringBufferEdit, ReplaceFirstReplacesOnlyTheFirstOccurrence) {
  StringBuffer b("a-b-c");
  EXPECT_TRUE(b.replaceFirst("-", "+++"));
  EXPECT_EQ(str(b), "a+++b-c");

  StringBuffer grow(std::string(200, 'z').c_str());
  EXPECT_TRUE(grow.replaceFirst("zz", std::string(300, 'y').c_str()));
  EXPECT_EQ(str(grow), std::string(300, 'y') + std::string(198, 'z'));
}

TEST(StringBufferEdit, ReplaceFirstIsFalseAndChangesNothingForEmptyOrAbsentPattern) {
  StringBuffer b("a-b-c");
  EXPECT_FALSE(b.replaceFirst("", "x"));
  EXPECT_FALSE(b.replaceFirst(nullptr, "x"));
  EXPECT_FALSE(b.replaceFirst("+", "x"));
  EXPECT_FALSE(b.replaceFirst("a-b-c-", "x"));
  EXPECT_EQ(str(b), "a-b-c");

  StringBuffer empty;
  EXPECT_FALSE(empty.replaceFirst("a", "b"));
}

TEST(StringBufferEdit, ReplaceAllScansPastEachReplacement) {
  StringBuffer b("aaa");
  EXPECT_EQ(b.replaceAll("a", "aa"), 3);
  EXPECT_EQ(str(b), "aaaaaa");
  EXPECT_EQ(b.replaceAll("x", "y"), 0);
  EXPECT_EQ(b.replaceAll("", "y"), 0);
  EXPECT_EQ(str(b), "aaaaaa");
}

TEST(StringBufferEdit, ClearAndShrinkToFitKeepOrReleaseSpareMemory) {
  StringBuffer b(std::string(300, 'm').c_str());
  const int capacity = b.getCapacity();
  b.clear();
  EXPECT_EQ(b.getSize(), 0);
  EXPECT_STREQ(b.getString(), "");
  EXPECT_EQ(b.getCapacity(), capacity);

  StringBuffer tight(std::string(198, 'm').c_str());  // 202 is not above 198 + 4
  tight.shrinkToFit();
  EXPECT_EQ(tight.getCapacity(), 202);

  StringBuffer loose(std::string(197, 'm').c_str());
  loose.shrinkToFit();
  EXPECT_EQ(loose.getCapacity(), 198);
  EXPECT_EQ(str(loose), std::string(197, 'm'));
  loose.append("n");  // fills the shrunk array exactly: must grow, not overflow
  EXPECT_EQ(str(loose), std::string(197, 'm') + "n");
  EXPECT_LT(loose.getSize(), loose.getCapacity());
}

// --- keepFileName -------------------------------------------------------------

std::string fileNameOf(const std::string& path) {
  StringBuffer b(path.c_str());
  b.keepFileName();
  return str(b);
}

TEST(StringBufferFileName, KeepsTheLastComponentWhicheverSlashSeparatesIt) {
  EXPECT_EQ(fileNameOf("C:/photos/trip/beach.jpg"), "beach.jpg");
  EXPECT_EQ(fileNameOf("C:\\photos\\trip\\beach.jpg"), "beach.jpg");
  EXPECT_EQ(fileNameOf("C:\\photos/trip\\beach.jpg"), "beach.jpg");
  EXPECT_EQ(fileNameOf("C:/photos\\trip/beach.jpg"), "beach.jpg");
  EXPECT_EQ(fileNameOf("beach.jpg"), "beach.jpg");
  EXPECT_EQ(fileNameOf("photos/"), "");
  EXPECT_EQ(fileNameOf(""), "");
}

TEST(StringBufferFileName, LooksAtTheFirst260CharactersOnly) {
  // The separator sits at index 250 in every case.
  const std::string dir = "C:/" + std::string(247, 'd') + "/";
  ASSERT_EQ(dir.size(), 251u);

  EXPECT_EQ(fileNameOf(dir + std::string(8, 'f')), std::string(8, 'f')) << "259 characters";
  EXPECT_EQ(fileNameOf(dir + std::string(9, 'f')), std::string(9, 'f')) << "260 characters";
  EXPECT_EQ(fileNameOf(dir + std::string(10, 'f')), std::string(9, 'f')) << "261 characters are cut to 260";

  const std::string huge = dir + std::string(4749, 'f');
  ASSERT_EQ(huge.size(), 5000u);
  EXPECT_EQ(fileNameOf(huge), std::string(9, 'f'));

  // A separator beyond the first 260 characters is not seen.
  const std::string lateSlash = std::string(300, 'a') + "/name.jpg";
  EXPECT_EQ(fileNameOf(lateSlash), std::string(260, 'a'));
  // Without any separator a long text is cut to 260 as well.
  EXPECT_EQ(fileNameOf(std::string(5000, 'b')), std::string(260, 'b'));
}

}  // namespace
}  // namespace component
