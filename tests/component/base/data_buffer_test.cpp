#include "component/base/data_buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "component/base/string_buffer.h"

namespace component {
namespace {

std::string bytesOf(DataBuffer& b) { return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize()); }

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

// --- memory and growth ---------------------------------------------------------

TEST(DataBufferGrowth, NeverUsedBufferHandsOutFourZeroBytes) {
  DataBuffer b;
  EXPECT_EQ(b.getCapacity(), 0u);
  const unsigned char* p = b.getData();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(b.getSize(), 0u);
  EXPECT_EQ(b.getCapacity(), 4u);
  EXPECT_EQ(std::memcmp(p, "\0\0\0\0", 4), 0);
  EXPECT_EQ(b.getData(), p) << "the second call reuses the memory";
  EXPECT_FALSE(b.isBorrowed());

  DataBuffer sized(100);
  EXPECT_EQ(sized.getCapacity(), 100u);
  EXPECT_EQ(sized.getSize(), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sized.getData()), 100), std::string(100, '\0'));
}

// A buffer that runs out of room grows to its size plus the larger of the count
// and 20000; exactly filling it does not grow it.
TEST(DataBufferGrowth, GrowsByTheLargerOfTheCountAnd20000) {
  struct Case {
    const char* what;
    uint32_t initial;
    uint32_t filled;
    uint32_t added;  // 1 goes through appendChar
    uint32_t capacity;
  };
  const Case cases[] = {
      {"first appendChar", 0, 0, 1, 20000},
      {"one byte on a full 100000", 100000, 100000, 1, 120000},
      {"exactly filling 100000", 100000, 0, 100000, 100000},
      {"small first append", 0, 0, 3, 20000},
      {"count above 20000 grows by the count", 0, 0, 25000, 25000},
      {"small append on a full 25000", 0, 25000, 10, 45000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = pattern(c.filled + c.added);
    DataBuffer b(c.initial);
    b.append(bytes.data(), c.filled);
    if (c.added == 1) b.appendChar(static_cast<unsigned char>(bytes.back()));
    else b.append(bytes.data() + c.filled, c.added);
    EXPECT_EQ(b.getCapacity(), c.capacity);
    EXPECT_EQ(bytesOf(b), bytes);
  }

  DataBuffer none;
  none.append(nullptr, 10);
  none.append("abc", 0);
  none.appendBuffer(DataBuffer());
  EXPECT_EQ(none.getCapacity(), 0u) << "null or empty appends allocate nothing";
  EXPECT_EQ(none.getSize(), 0u);
}

TEST(DataBufferGrowth, EnsureCapacityAndClearKeepTheBytesOrTheMemory) {
  DataBuffer b;
  b.append("keep", 4);
  b.ensureCapacity(50000);
  EXPECT_EQ(b.getCapacity(), 50000u);
  b.ensureCapacity(10);
  EXPECT_EQ(b.getCapacity(), 50000u);
  EXPECT_EQ(bytesOf(b), "keep");
  b.clear();
  EXPECT_EQ(b.getSize(), 0u);
  EXPECT_EQ(b.getCapacity(), 50000u);
  b.append("xy", 2);
  EXPECT_EQ(bytesOf(b), "xy");
}

// The buffer's own bytes handed back to it must be read before the old memory
// is freed by the growth that the append causes.
TEST(DataBufferGrowth, OwnBytesAppendedAcrossReallocation) {
  const std::string start = pattern(15000);
  DataBuffer b;
  b.append(start.data(), uint32_t(start.size()));
  ASSERT_EQ(b.getCapacity(), 20000u);

  b.appendBuffer(b);  // 30000 > 20000: reallocates
  EXPECT_EQ(bytesOf(b), start + start);

  const uint32_t capacity = b.getCapacity();
  b.append(b.getData() + b.getSize() - 25000, 25000);  // beyond the spare room again
  ASSERT_GT(b.getCapacity(), capacity);
  EXPECT_EQ(bytesOf(b), start + start + (start + start).substr(5000));
}

// --- ownership -----------------------------------------------------------------

TEST(DataBufferOwnership, BorrowedMemoryIsNeverFreedAndGrowthCopiesIt) {
  std::vector<unsigned char> outside = {1, 2, 3, 4, 5};
  {
    DataBuffer b;
    b.append("old", 3);
    b.borrowData(outside.data(), 5);
    EXPECT_TRUE(b.isBorrowed());
    EXPECT_EQ(b.getData(), outside.data());
    EXPECT_EQ(b.getCapacity(), 5u);

    b.appendChar(6);  // full: reallocation makes the buffer own a copy
    EXPECT_FALSE(b.isBorrowed());
    EXPECT_NE(b.getData(), outside.data());
    EXPECT_EQ(bytesOf(b), std::string("\1\2\3\4\5\6", 6));
  }
  {
    DataBuffer b;
    b.borrowData(outside.data(), 5);
  }  // destroyed while borrowing
  {
    DataBuffer b;
    b.borrowData(outside.data(), 5);
    b.borrowData(outside.data(), 3);  // the earlier borrow is dropped, not freed
    b.takeData(std::malloc(8), 8);
    EXPECT_FALSE(b.isBorrowed());
  }
  EXPECT_EQ(outside, (std::vector<unsigned char>{1, 2, 3, 4, 5}));
}

TEST(DataBufferOwnership, TakenMemoryIsOwnedAndFreedOnce) {
  auto* p = static_cast<unsigned char*>(std::malloc(6));
  std::memcpy(p, "taken!", 6);
  DataBuffer b;
  b.append("replaced", 8);  // freed by takeData
  b.takeData(p, 6);
  EXPECT_FALSE(b.isBorrowed());
  EXPECT_EQ(b.getData(), p);
  EXPECT_EQ(bytesOf(b), "taken!");
  b.appendChar('?');  // reallocation frees p
  EXPECT_EQ(bytesOf(b), "taken!?");
}

TEST(DataBufferOwnership, TakeFromMovesEverythingAndEmptiesTheSource) {
  DataBuffer source;
  source.append("payload", 7);
  const unsigned char* memory = source.getData();

  DataBuffer target;
  target.append("stale", 5);  // freed by takeFrom
  target.takeFrom(source);
  EXPECT_EQ(target.getData(), memory);
  EXPECT_EQ(bytesOf(target), "payload");
  EXPECT_EQ(target.getCapacity(), 20000u);
  EXPECT_EQ(source.getSize(), 0u);
  EXPECT_EQ(source.getCapacity(), 0u);

  // The source stays usable and owns fresh memory from now on.
  source.append("again", 5);
  EXPECT_EQ(bytesOf(source), "again");

  target.takeFrom(target);
  EXPECT_EQ(bytesOf(target), "payload");

  unsigned char outside[4] = {9, 8, 7, 6};
  DataBuffer lender;
  lender.borrowData(outside, 4);
  DataBuffer borrower;
  borrower.takeFrom(lender);
  EXPECT_TRUE(borrower.isBorrowed()) << "borrower must not free the stack array";
  EXPECT_FALSE(lender.isBorrowed());
  EXPECT_EQ(borrower.getData(), outside);
}

// --- content helpers ---------------------------------------------------------------

TEST(DataBufferContent, AppendWideStringAddsTheTerminatorToo) {
  DataBuffer b;
  b.appendWideString(u"ab\u00e9");
  EXPECT_EQ(bytesOf(b), std::string("a\0b\0\xE9\0\0\0", 8));
  DataBuffer none;
  none.appendWideString(nullptr);
  EXPECT_EQ(bytesOf(none), std::string(2, '\0'));
}

TEST(DataBufferContent, ToHexAppendsUpperCaseDigitPairsHighHalfFirst) {
  DataBuffer b;
  const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xF0, 0xFF, 0x19};
  b.append(bytes, sizeof bytes);
  StringBuffer out("hex:");
  b.toHex(out);
  EXPECT_STREQ(out.getString(), "hex:000FA5F0FF19");

  DataBuffer empty;
  StringBuffer untouched("x");
  empty.toHex(untouched);
  EXPECT_STREQ(untouched.getString(), "x");
}

TEST(DataBufferContent, TruncateRemoveFrontAndEquals) {
  DataBuffer b;
  b.append("0123456789", 10);
  b.truncate(20);
  EXPECT_EQ(b.getSize(), 10u);
  b.truncate(8);
  EXPECT_TRUE(b.equals("01234567", 8));
  EXPECT_FALSE(b.equals("0123456", 7));
  EXPECT_FALSE(b.equals("01234568", 8));
  b.removeFront(3);
  EXPECT_EQ(bytesOf(b), "34567");
  b.removeFront(99);
  EXPECT_EQ(b.getSize(), 0u);
  EXPECT_TRUE(b.equals(nullptr, 0));
}

}  // namespace
}  // namespace component
