#include "service/md5.h"

namespace service {
namespace {

// The additive constants: the integer part of 2^32 * |sin(i + 1)|.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

const uint8_t kPadding[64] = {0x80};

inline uint32_t rotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void Md5Engine::init(Md5Context* context) const {
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
}

void Md5Engine::update(Md5Context* context, const uint8_t* input, size_t length) const {
  size_t index = (context->count[0] >> 3) & 0x3F;
  const uint32_t addedLow = uint32_t(length << 3);
  context->count[0] += addedLow;
  if (context->count[0] < addedLow) context->count[1]++;
  context->count[1] += uint32_t(uint64_t(length) >> 29);

  const size_t partLength = 64 - index;
  size_t i = 0;
  if (length >= partLength) {
    copyBytes(&context->buffer[index], input, partLength);
    transform(context->state, context->buffer);
    for (i = partLength; i + 63 < length; i += 64) transform(context->state, &input[i]);
    index = 0;
  }
  copyBytes(&context->buffer[index], &input[i], length - i);
}

void Md5Engine::finish(uint8_t digest[16], Md5Context* context) const {
  uint8_t bits[8];
  encode(bits, context->count, 8);
  // Pad to 56 bytes modulo 64: one 0x80 byte, then zeros.
  const size_t index = (context->count[0] >> 3) & 0x3F;
  const size_t padLength = index < 56 ? 56 - index : 120 - index;
  update(context, kPadding, padLength);
  update(context, bits, 8);
  encode(digest, context->state, 16);
  fillBytes(reinterpret_cast<uint8_t*>(context), 0, sizeof *context);
}

void Md5Engine::transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  decode(x, block, 64);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    uint32_t f;
    int k;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        k = i;
        break;
      case 1:
        f = (b & d) | (c & ~d);
        k = (1 + 5 * i) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        k = (5 + 3 * i) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        k = (7 * i) % 16;
        break;
    }
    const uint32_t next = b + rotateLeft(a + f + x[k] + kSine[i], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  fillBytes(reinterpret_cast<uint8_t*>(x), 0, sizeof x);
}

void Md5Engine::encode(uint8_t* output, const uint32_t* input, size_t length) {
  for (size_t i = 0, j = 0; j < length; ++i, j += 4) {
    output[j] = uint8_t(input[i]);
    output[j + 1] = uint8_t(input[i] >> 8);
    output[j + 2] = uint8_t(input[i] >> 16);
    output[j + 3] = uint8_t(input[i] >> 24);
  }
}

void Md5Engine::decode(uint32_t* output, const uint8_t* input, size_t length) {
  for (size_t i = 0, j = 0; j < length; ++i, j += 4) {
    output[i] = uint32_t(input[j]) | (uint32_t(input[j + 1]) << 8) | (uint32_t(input[j + 2]) << 16) |
                (uint32_t(input[j + 3]) << 24);
  }
}

void Md5Engine::copyBytes(uint8_t* output, const uint8_t* input, size_t length) {
  for (size_t i = 0; i < length; ++i) output[i] = input[i];
}

void Md5Engine::fillBytes(uint8_t* output, uint8_t value, size_t length) {
  volatile uint8_t* p = output;
  for (size_t i = 0; i < length; ++i) p[i] = value;
}

}  // namespace service
