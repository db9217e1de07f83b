#pragma once
// The multipart boundary: 27 hyphens and 16 upper-case hexadecimal digits drawn
// from a lagged-Fibonacci (R250) generator seeded with the millisecond tick count.
#include <cstdint>

#include "component/base/string_buffer.h"

namespace component {

// 250 words of state, lag 103. Seeding fills the state from a small linear
// congruential generator of our own, so a seed gives the same words on every
// system.
class R250 {
 public:
  static constexpr int kWords = 250;
  static constexpr int kLag = 103;

  explicit R250(uint32_t seed) { fill(seed); }
  // Replaces the current word by itself XOR the word 103 places on, returns it
  // and moves on.
  uint32_t next();

 private:
  void fill(uint32_t seed);

  uint32_t state_[kWords];
  int index_ = 0;
};

constexpr int kBoundaryLength = 43;

// The boundary for a generator seeded with `seed`.
void makeBoundary(uint32_t seed, StringBuffer& out);

}  // namespace component
