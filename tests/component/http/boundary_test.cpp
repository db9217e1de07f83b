#include "component/http/boundary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

using component::R250;

TEST(Boundary, Is27HyphensAndTwoDrawsAsUpperCaseHexInLittleEndianByteOrder) {
  for (uint32_t seed : {0u, 1u, 4242u, 12345u, 0xFFFFFFFFu}) {
    R250 gen(seed);
    const uint32_t first = gen.next();
    const uint32_t second = gen.next();
    char digits[17];
    std::snprintf(digits, sizeof digits, "%02X%02X%02X%02X%02X%02X%02X%02X", first & 0xFF, (first >> 8) & 0xFF,
                  (first >> 16) & 0xFF, first >> 24, second & 0xFF, (second >> 8) & 0xFF, (second >> 16) & 0xFF,
                  second >> 24);
    component::StringBuffer b;
    component::makeBoundary(seed, b);
    EXPECT_EQ(std::string(b.getString()), std::string(27, '-') + digits) << seed;
  }
}

TEST(Boundary, DependsOnTheSeedAlone) {
  component::StringBuffer a, b;
  component::makeBoundary(777, a);
  component::makeBoundary(777, b);
  EXPECT_STREQ(a.getString(), b.getString());

  std::set<std::string> seen;
  for (uint32_t seed = 1000; seed < 1200; ++seed) {
    component::StringBuffer x;
    component::makeBoundary(seed, x);
    seen.insert(x.getString());
  }
  EXPECT_EQ(seen.size(), 200u) << "neighbouring tick counts must give different boundaries";
}

TEST(R250Generator, SeedingGivesThe32StaircaseWords) {
  for (uint32_t seed : {1u, 99u, 0xDEADBEEFu}) {
    R250 gen(seed);
    for (int k = 0; k < 32; ++k) {
      const uint32_t w = gen.word(3 + 7 * k);
      const uint32_t top = 1u << (31 - k);
      EXPECT_TRUE(w & top) << "k=" << k;
      EXPECT_EQ(w & ~((top << 1) - 1), 0u) << "k=" << k;  // nothing above it: together all 32 bits
    }
  }
}

TEST(R250Generator, EachDrawXorsTheWord103PlacesOnAndWrapsAt250) {
  R250 gen(2024);
  uint32_t before[R250::kWords];
  for (int i = 0; i < R250::kWords; ++i) before[i] = gen.word(i);

  // Draws 0..146 pair word i with word i+103 of the seeded state.
  for (int i = 0; i < 147; ++i) ASSERT_EQ(gen.next(), before[i] ^ before[i + 103]) << i;
  // From draw 147 on the partner index wraps to the words already replaced.
  for (int i = 147; i < R250::kWords; ++i) {
    ASSERT_EQ(gen.next(), before[i] ^ gen.word(i + 103 - R250::kWords)) << i;
  }
  // After 250 draws the index is back at word 0.
  const uint32_t w0 = gen.word(0);
  EXPECT_EQ(gen.next(), w0 ^ gen.word(103));
}

}  // namespace
