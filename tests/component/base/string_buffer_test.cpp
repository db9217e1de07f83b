#include "component/base/string_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace component {
namespace {

std::string str(const StringBuffer& b) { return std::string(b.getString(), size_t(b.getSize())); }

// The increment follows half the capacity; growing keeps the text.
TEST(StringBuffer, GrowsByAnIncrementOfHalfTheCapacity) {
  StringBuffer b("x");
  EXPECT_EQ(b.getCapacity(), 202);
  b.append(std::string(201, 'a').c_str());
  EXPECT_EQ(b.getCapacity(), 405);
  EXPECT_EQ(b.getGrowthIncrement(), 202);
  EXPECT_EQ(str(b), "x" + std::string(201, 'a'));
}

void trim(StringBuffer& b) { b.trim(); }
void cutAtLineFeed(StringBuffer& b) { b.truncateAtChar('\n'); }
void upper(StringBuffer& b) { b.toUpper(); }
void fileName(StringBuffer& b) { b.keepFileName(); }

// A separator at index 250 followed by `n` name characters.
std::string longPath(size_t n) { return "C:/" + std::string(247, 'd') + "/" + std::string(n, 'f'); }
std::string eAcutes(int n) {
  std::string s;
  while (n-- > 0) s += "\xC3\xA9";
  return s;
}

TEST(StringBuffer, EditsGiveExactlyTheExpectedText) {
  const struct {
    std::string in;
    void (*edit)(StringBuffer&);
    std::string out;
  } cases[] = {
      {" \t\r\n inner text \t here\r\n\t ", trim, "inner text \t here"},
      {"first line\r\nsecond line\r\n", cutAtLineFeed, "first line\r"},
      // 224..255 lose 32 (Latin-1 small letters to capitals); 128..223 stay.
      {"http/1.1 \xE0\xE9\xFE\xFF\x80\xB5\xDF", upper, "HTTP/1.1 \xC0\xC9\xDE\xDF\x80\xB5\xDF"},
      {"C:\\photos/trip\\beach.jpg", fileName, "beach.jpg"},
      {"C:/photos\\trip/beach.jpg", fileName, "beach.jpg"},
      {longPath(10), fileName, std::string(10, 'f')},
      {std::string(300, 'a') + "/name.jpg", fileName, "name.jpg"},
      {longPath(4749), fileName, std::string(260, 'f')},
      {"x/a" + eAcutes(200), fileName, "a" + eAcutes(129)},  // never cut inside a character
  };
  for (const auto& c : cases) {
    StringBuffer b;
    b.appendBytes(c.in.data(), int(c.in.size()));
    c.edit(b);
    EXPECT_EQ(str(b), c.out) << c.in.substr(0, 40);
    EXPECT_EQ(b.getString()[b.getSize()], '\0');
  }
}

}  // namespace
}  // namespace component
