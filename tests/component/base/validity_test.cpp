// A buffer used after its destruction, or memory that never held a buffer, must
// end the process at once instead of reading freed memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "component/base/data_buffer.h"
#include "component/base/string_buffer.h"

namespace component {
namespace {

#if GTEST_HAS_DEATH_TEST

// Builds a T in memory of the test's own, lets `fill` give it content, destroys
// it, and hands the dead object to `use`. The memory stays valid after the
// destructor, so only the marker can tell.
template <class T>
void useAfterDestruction(const std::function<void(T&)>& fill, const std::function<void(T&)>& use) {
  alignas(T) unsigned char slot[sizeof(T)];
  T* object = new (slot) T();
  fill(*object);
  object->~T();
  use(*object);
}

template <class T>
struct DeathCase {
  const char* what;
  std::function<void(T&)> use;
};

class BufferValidityDeathTest : public ::testing::Test {
 protected:
  // Re-running the program for each death is the style that works on every
  // system the tests run on.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(BufferValidityDeathTest, StringBufferUsedAfterDestruction) {
  const DeathCase<StringBuffer> cases[] = {
      {"append", [](StringBuffer& b) { b.append("more"); }},
      {"getString", [](StringBuffer& b) { std::fputs(b.getString(), stderr); }},
      {"trim", [](StringBuffer& b) { b.trim(); }},
      {"destroyed twice", [](StringBuffer& b) { b.~StringBuffer(); }},
      {"a live buffer given a dead one", [](StringBuffer& gone) { StringBuffer("alive").appendBuffer(gone); }},
  };
  for (const auto& c : cases) {
    EXPECT_DEATH(useAfterDestruction<StringBuffer>([](StringBuffer& b) { b.append("  gone  "); }, c.use),
                 "StringBuffer used after destruction")
        << c.what;
  }
  EXPECT_DEATH(
      {
        alignas(StringBuffer) unsigned char never[sizeof(StringBuffer)];
        std::memset(never, 0x55, sizeof never);
        std::launder(reinterpret_cast<StringBuffer*>(never))->clear();
      },
      "StringBuffer used after destruction")
      << "memory that never held a buffer";
}

TEST_F(BufferValidityDeathTest, DataBufferUsedAfterDestruction) {
  const DeathCase<DataBuffer> cases[] = {
      {"appendChar", [](DataBuffer& b) { b.appendChar('x'); }},
      {"getData", [](DataBuffer& b) { std::fprintf(stderr, "%p", static_cast<const void*>(b.getData())); }},
      {"toHex",
       [](DataBuffer& b) {
         StringBuffer out;
         b.toHex(out);
       }},
      {"destroyed twice", [](DataBuffer& b) { b.~DataBuffer(); }},
      {"a live buffer given a dead one", [](DataBuffer& gone) { DataBuffer().takeFrom(gone); }},
  };
  for (const auto& c : cases) {
    EXPECT_DEATH(useAfterDestruction<DataBuffer>([](DataBuffer& b) { b.append("gone", 4); }, c.use),
                 "DataBuffer used after destruction")
        << c.what;
  }
  EXPECT_DEATH(useAfterDestruction<DataBuffer>([](DataBuffer&) {}, [](DataBuffer& b) { b.getData(); }),
               "DataBuffer used after destruction")
      << "a buffer that never held memory";
}

#endif  // GTEST_HAS_DEATH_TEST

}  // namespace
}  // namespace component
