// A buffer used after its destruction, or memory that never held a buffer, must
// end the process at once instead of reading freed memory.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "component/base/data_buffer.h"
#include "component/base/string_buffer.h"

namespace component {
namespace {

#if GTEST_HAS_DEATH_TEST
// A T destroyed in memory of the test's own: the memory stays valid, so only
// the marker can tell.
template <class T>
T& dead() {
  alignas(T) static unsigned char slot[sizeof(T)];
  (new (slot) T())->~T();
  return *std::launder(reinterpret_cast<T*>(slot));
}

TEST(BufferValidityDeathTest, DestroyedOrForeignBuffersEndTheProcess) {
  // Re-running the program for each death works on every system the tests run on.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(dead<StringBuffer>().append("more"), "StringBuffer used after destruction");
  EXPECT_DEATH(DataBuffer().takeFrom(dead<DataBuffer>()), "DataBuffer used after destruction");
  EXPECT_DEATH(dead<DataBuffer>().~DataBuffer(), "DataBuffer used after destruction");
  EXPECT_DEATH(
      {
        alignas(StringBuffer) unsigned char never[sizeof(StringBuffer)];
        std::memset(never, 0x55, sizeof never);
        std::launder(reinterpret_cast<StringBuffer*>(never))->clear();
      },
      "StringBuffer used after destruction");
}
#endif

}  // namespace
}  // namespace component
