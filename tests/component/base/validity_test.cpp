// A buffer used after its destruction, or memory that never held a buffer, must
// end the process at once instead of reading freed memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "component/base/data_buffer.h"
#include "component/base/string_buffer.h"

namespace component {
namespace {

#if GTEST_HAS_DEATH_TEST

// Room for one object whose lifetime the test ends by hand: the memory stays
// valid after the destructor, so only the marker can tell.
template <class T>
struct Slot {
  alignas(T) unsigned char bytes[sizeof(T)];
};

class BufferValidityDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Re-running the program for each death is the style that works on every
    // system the tests run on.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

constexpr const char* kStringFault = "StringBuffer used after destruction";
constexpr const char* kDataFault = "DataBuffer used after destruction";

// Builds a T in a slot, lets `fill` give it content, destroys it, and hands the
// dead object to `use`.
template <class T, class Fill, class Use>
void useAfterDestruction(Fill fill, Use use) {
  Slot<T> slot;
  T* object = new (slot.bytes) T();
  fill(*object);
  object->~T();
  use(*object);
}

TEST_F(BufferValidityDeathTest, LiveBuffersDoNotFault) {
  Slot<StringBuffer> s;
  auto* text = new (s.bytes) StringBuffer("alive");
  text->append("!");
  EXPECT_STREQ(text->getString(), "alive!");
  text->~StringBuffer();

  Slot<DataBuffer> d;
  auto* data = new (d.bytes) DataBuffer();
  data->append("ab", 2);
  EXPECT_EQ(data->getSize(), 2u);
  data->~DataBuffer();
}

TEST_F(BufferValidityDeathTest, StringBufferUsedAfterDestruction) {
  const auto fill = [](StringBuffer& b) { b.append("  gone  "); };
  EXPECT_DEATH(useAfterDestruction<StringBuffer>(fill, [](StringBuffer& b) { b.append("more"); }), kStringFault);
  EXPECT_DEATH(useAfterDestruction<StringBuffer>(fill, [](StringBuffer& b) { std::fputs(b.getString(), stderr); }),
               kStringFault);
  EXPECT_DEATH(useAfterDestruction<StringBuffer>(fill, [](StringBuffer& b) { b.trim(); }), kStringFault);
  EXPECT_DEATH(useAfterDestruction<StringBuffer>(fill, [](StringBuffer& b) { b.~StringBuffer(); }), kStringFault)
      << "destroyed twice";
  EXPECT_DEATH(useAfterDestruction<StringBuffer>(fill,
                                                 [](StringBuffer& gone) {
                                                   StringBuffer alive("alive");
                                                   alive.appendBuffer(gone);
                                                 }),
               kStringFault)
      << "a live buffer given a dead one";
}

TEST_F(BufferValidityDeathTest, MemoryThatNeverHeldAStringBuffer) {
  EXPECT_DEATH(
      {
        Slot<StringBuffer> s;
        std::memset(s.bytes, 0x55, sizeof s.bytes);
        std::launder(reinterpret_cast<StringBuffer*>(s.bytes))->clear();
      },
      kStringFault);
}

TEST_F(BufferValidityDeathTest, DataBufferUsedAfterDestruction) {
  const auto fill = [](DataBuffer& b) { b.append("gone", 4); };
  EXPECT_DEATH(useAfterDestruction<DataBuffer>(fill, [](DataBuffer& b) { b.appendChar('x'); }), kDataFault);
  EXPECT_DEATH(useAfterDestruction<DataBuffer>([](DataBuffer&) {},
                                               [](DataBuffer& b) {
                                                 std::fprintf(stderr, "%p", static_cast<const void*>(b.getData()));
                                               }),
               kDataFault)
      << "never held memory";
  EXPECT_DEATH(useAfterDestruction<DataBuffer>(fill,
                                               [](DataBuffer& b) {
                                                 StringBuffer out;
                                                 b.toHex(out);
                                               }),
               kDataFault);
  EXPECT_DEATH(useAfterDestruction<DataBuffer>(fill, [](DataBuffer& b) { b.~DataBuffer(); }), kDataFault)
      << "destroyed twice";
  EXPECT_DEATH(useAfterDestruction<DataBuffer>(fill,
                                               [](DataBuffer& gone) {
                                                 DataBuffer alive;
                                                 alive.takeFrom(gone);
                                               }),
               kDataFault)
      << "a live buffer given a dead one";
}

#endif  // GTEST_HAS_DEATH_TEST

}  // namespace
}  // namespace component
