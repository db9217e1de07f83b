#include "component/http/boundary.h"

#include "component/base/data_buffer.h"

namespace component {
namespace {

// Draws of 15 bits each, the width the state filling below was made for.
class SeedGenerator {
 public:
  explicit SeedGenerator(uint32_t seed) : state_(seed) {}
  uint32_t draw() {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 16) & 0x7FFFu;
  }

 private:
  uint32_t state_;
};

}  // namespace

void R250::fill(uint32_t seed) {
  SeedGenerator gen(seed);
  index_ = 0;
  for (int j = kWords - 1; j >= 0; --j) {
    const uint32_t first = gen.draw();
    const uint32_t second = gen.draw();
    const uint32_t third = gen.draw();
    state_[j] = (second << 17) | (first << 2) | (third & 3u);
  }
  // Give 32 of the words a staircase of leading bits so that the state spans
  // all 32 bit positions (the words are linearly independent).
  for (int k = 0; k < 32; ++k) {
    const uint32_t top = 1u << (31 - k);
    uint32_t& w = state_[3 + 7 * k];
    w = (w & (top - 1)) | top;
  }
}

uint32_t R250::next() {
  int other = index_ + kLag;
  if (other >= kWords) other -= kWords;
  state_[index_] ^= state_[other];
  const uint32_t result = state_[index_];
  if (++index_ >= kWords) index_ = 0;
  return result;
}

void makeBoundary(uint32_t seed, StringBuffer& out) {
  R250 gen(seed);
  unsigned char bytes[8];
  for (int n = 0; n < 2; ++n) {
    const uint32_t v = gen.next();
    for (int b = 0; b < 4; ++b) bytes[n * 4 + b] = static_cast<unsigned char>(v >> (8 * b));
  }
  DataBuffer raw;
  raw.append(bytes, sizeof bytes);
  out.clear();
  out.append("---------------------------");
  raw.toHex(out);
  // Neither changes a well-formed boundary; they guard the header line.
  out.removeChar(' ');
  out.trim();
}

}  // namespace component
