#include "component/base/data_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace component {
namespace {

// A fixed step of 20000 beyond what is needed; growing keeps every byte.
TEST(DataBuffer, GrowsByAFixedStep) {
  EXPECT_NE(DataBuffer().getData(), nullptr) << "never null, even before the first byte";
  DataBuffer b;
  b.appendChar('a');
  EXPECT_EQ(b.getCapacity(), 20000u);
  DataBuffer full(100000);
  full.append(std::string(100000, 'f').data(), 100000);
  full.appendChar('g');
  EXPECT_EQ(full.getCapacity(), 120000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(full.getData()), full.getSize()), std::string(100000, 'f') + "g");
}

}  // namespace
}  // namespace component
