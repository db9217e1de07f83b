#include "component/base/string_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace component {
namespace {

std::string str(const StringBuffer& b) { return std::string(b.getString(), size_t(b.getSize())); }

void expectRoom(const StringBuffer& b, int capacity, int increment) {
  EXPECT_EQ(b.getCapacity(), capacity);
  EXPECT_EQ(b.getGrowthIncrement(), increment);
}

// --- growth -----------------------------------------------------------------

TEST(StringBufferGrowth, NewBufferHoldsEmptyTextInItsFirst202Bytes) {
  StringBuffer b;
  expectRoom(b, 202, 202);
  EXPECT_EQ(b.getSize(), 0);
  EXPECT_STREQ(b.getString(), "");
}

// Growth adds the increment (plus the terminator for a terminated argument) and
// sets the increment to half the new capacity, never above 500000.
TEST(StringBufferGrowth, GrowsByTheIncrementWhichFollowsHalfTheCapacityUpTo500000) {
  StringBuffer b;
  b.append(std::string(201, 'a').c_str());
  expectRoom(b, 202, 202);  // 201 characters and the terminator still fit
  b.append("a");
  expectRoom(b, 405, 202);
  b.append(std::string(200, 'b').c_str());  // 402: still below 405
  expectRoom(b, 405, 202);
  b.append("ccc");  // 405 reaches the capacity: 405 + 202 + 1
  expectRoom(b, 608, 304);
  EXPECT_EQ(str(b), std::string(202, 'a') + std::string(200, 'b') + "ccc");

  StringBuffer bytes;
  bytes.appendBytes(std::string(202, 'x').data(), 202);
  expectRoom(bytes, 404, 202);  // no terminator byte for a counted append
  EXPECT_EQ(bytes.getString()[202], '\0');

  StringBuffer big;
  big.append(std::string(2000000, 'a').c_str());
  expectRoom(big, 2000000 + 202 + 1, 500000);
  big.append(std::string(203, 'b').c_str());  // exactly reaches the capacity
  expectRoom(big, 2000203 + 500000 + 1, 500000);
}

// --- appending ---------------------------------------------------------------

TEST(StringBufferAppend, NullEmptyAndNonPositiveArgumentsChangeNothing) {
  StringBuffer b("abc");
  b.append(nullptr);
  b.append("");
  b.appendBytes(nullptr, 5);
  b.appendBytes("xyz", 0);
  b.appendBytes("xyz", -3);
  EXPECT_EQ(str(b), "abc");
  EXPECT_EQ(b.getCapacity(), 202);
}

TEST(StringBufferAppend, BytesIntsBuffersAndCopies) {
  StringBuffer b;
  b.appendBytes("a\0b", 3);
  EXPECT_EQ(str(b), std::string("a\0b", 3));
  EXPECT_EQ(b.getString()[3], '\0');

  StringBuffer n;
  n.appendInt(-1);
  n.append(" ");
  n.appendInt(4294967296LL);
  EXPECT_EQ(str(n), "-1 4294967296");

  StringBuffer a("left");
  a.appendBuffer(StringBuffer("right"));
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
  StringBuffer bytes((start + "0123456789").c_str());
  bytes.appendBytes(bytes.getString() + 100, 60);  // tail of the k's and the digits
  EXPECT_EQ(str(bytes), start + "0123456789" + std::string(50, 'k') + "0123456789");

  StringBuffer text(start.c_str());
  text.append(text.getString());
  EXPECT_EQ(str(text), start + start);
  text.appendBuffer(text);
  EXPECT_EQ(str(text), start + start + start + start);
}

// --- editing ----------------------------------------------------------------

using Edit = void (*)(StringBuffer&);

struct EditCase {
  const char* what;
  std::string in;
  Edit edit;
  std::string out;
};

void trim(StringBuffer& b) { b.trim(); }
void cutAtLineFeed(StringBuffer& b) { b.truncateAtChar('\n'); }
void cutAtSemicolon(StringBuffer& b) { b.truncateAtChar(';'); }
void dropQuotes(StringBuffer& b) { b.removeChar('"'); }
void upper(StringBuffer& b) { b.toUpper(); }
void fileName(StringBuffer& b) { b.keepFileName(); }

// For keepFileName: a separator at index 250 followed by `n` name characters;
// `n` times a two-byte character.
std::string longPath(size_t n) { return "C:/" + std::string(247, 'd') + "/" + std::string(n, 'f'); }
std::string utf8E(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "\xC3\xA9";
  return s;
}

TEST(StringBufferEdit, EditsGiveExactlyTheExpectedText) {
  const EditCase cases[] = {
      {"trim: all four blanks at both ends", " \t\r\n inner text \t here\r\n\t ", trim, "inner text \t here"},
      {"trim: blanks only", " \r\n\t ", trim, ""},
      {"trim: vertical tab and form feed are kept", "\vx\f", trim, "\vx\f"},
      {"truncate: the carriage return stays", "first line\r\nsecond line\r\n", cutAtLineFeed, "first line\r"},
      {"truncate: first occurrence only", "a;b;c", cutAtSemicolon, "a"},
      {"truncate: at index 0", ";abc", cutAtSemicolon, ""},
      {"truncate: absent", "abc", cutAtSemicolon, "abc"},
      {"removeChar: every occurrence", "\"quoted\" \"text\"", dropQuotes, "quoted text"},
      {"removeChar: absent", "plain", dropQuotes, "plain"},
      {"toUpper: ASCII", "abc xyz 0-9 {|}~ ABC", upper, "ABC XYZ 0-9 {|}~ ABC"},
      // 224..255 lose 32; 128..223 are left alone.
      {"toUpper: Latin-1", "\xE0\xE9\xFE\xFF\x80\xB5\xC9\xDF\xDE", upper, "\xC0\xC9\xDE\xDF\x80\xB5\xC9\xDF\xDE"},
      {"fileName: slashes", "C:/photos/trip/beach.jpg", fileName, "beach.jpg"},
      {"fileName: backslashes", "C:\\photos\\trip\\beach.jpg", fileName, "beach.jpg"},
      {"fileName: mixed, backslash last", "C:\\photos/trip\\beach.jpg", fileName, "beach.jpg"},
      {"fileName: mixed, slash last", "C:/photos\\trip/beach.jpg", fileName, "beach.jpg"},
      {"fileName: no folder", "beach.jpg", fileName, "beach.jpg"},
      {"fileName: folder only", "photos/", fileName, ""},
      {"fileName: empty", "", fileName, ""},
      {"fileName: the last separator of a long path", longPath(10), fileName, std::string(10, 'f')},
      {"fileName: separator beyond 260", std::string(300, 'a') + "/name.jpg", fileName, "name.jpg"},
      {"fileName: longer name cut to 260", longPath(4749), fileName, std::string(260, 'f')},
      {"fileName: no separator, cut to 260", std::string(5000, 'b'), fileName, std::string(260, 'b')},
      {"fileName: the cut keeps UTF-8 characters whole", "x/a" + utf8E(200), fileName, "a" + utf8E(129)},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.what);
    StringBuffer b;
    b.appendBytes(c.in.data(), int(c.in.size()));
    c.edit(b);
    EXPECT_EQ(str(b), c.out);
    EXPECT_EQ(b.getString()[b.getSize()], '\0');
  }
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

TEST(StringBufferEdit, ReplaceFirstReplacesOnlyTheFirstOccurrenceOrNothing) {
  StringBuffer b("a-b-c");
  EXPECT_FALSE(b.replaceFirst("", "x"));
  EXPECT_FALSE(b.replaceFirst(nullptr, "x"));
  EXPECT_FALSE(b.replaceFirst("+", "x"));
  EXPECT_FALSE(b.replaceFirst("a-b-c-", "x"));
  EXPECT_FALSE(StringBuffer().replaceFirst("a", "b"));
  EXPECT_EQ(str(b), "a-b-c");
  EXPECT_TRUE(b.replaceFirst("-", "+++"));
  EXPECT_EQ(str(b), "a+++b-c");

  StringBuffer grow(std::string(200, 'z').c_str());
  EXPECT_TRUE(grow.replaceFirst("zz", std::string(300, 'y').c_str()));
  EXPECT_EQ(str(grow), std::string(300, 'y') + std::string(198, 'z'));
}

TEST(StringBufferEdit, ReplaceAllScansPastEachReplacement) {
  StringBuffer b("aaa");
  EXPECT_EQ(b.replaceAll("a", "aa"), 3);
  EXPECT_EQ(str(b), "aaaaaa");
  EXPECT_EQ(b.replaceAll("x", "y"), 0);
  EXPECT_EQ(b.replaceAll("", "y"), 0);
  EXPECT_EQ(str(b), "aaaaaa");
}

TEST(StringBufferEdit, ClearKeepsTheMemoryAndShrinkToFitReleasesIt) {
  StringBuffer b(std::string(300, 'm').c_str());
  const int capacity = b.getCapacity();
  b.clear();
  EXPECT_EQ(str(b), "");
  EXPECT_EQ(b.getCapacity(), capacity);

  StringBuffer tight(std::string(198, 'm').c_str());  // 202 is not above 198 + 4
  tight.shrinkToFit();
  EXPECT_EQ(tight.getCapacity(), 202);

  StringBuffer loose(std::string(197, 'm').c_str());
  loose.shrinkToFit();
  EXPECT_EQ(loose.getCapacity(), 198);
  loose.append("n");  // fills the shrunk array exactly: must grow, not overflow
  EXPECT_EQ(str(loose), std::string(197, 'm') + "n");
  EXPECT_LT(loose.getSize(), loose.getCapacity());
}

}  // namespace
}  // namespace component
