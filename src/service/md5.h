#pragma once
// The MD5 message digest (RFC 1321). The engine keeps no state of its own: every
// computation lives in the Md5Context handed to it, so separate computations can
// never disturb each other.
#include <cstddef>
#include <cstdint>

namespace service {

struct Md5Context {
  uint32_t state[4];   // A, B, C, D
  uint32_t count[2];   // number of bits processed, modulo 2^64, low word first
  uint8_t buffer[64];  // input not yet transformed
};

class Md5Engine {
 public:
  void init(Md5Context* context) const;
  // Adds `length` bytes of input.
  void update(Md5Context* context, const uint8_t* input, size_t length) const;
  // Pads, appends the bit count, writes the 16-byte digest and overwrites the
  // whole context with zeros, so no trace of the input stays in memory.
  void finish(uint8_t digest[16], Md5Context* context) const;

  // One 64-byte block into the state words.
  static void transform(uint32_t state[4], const uint8_t block[64]);
  // Words to bytes and back, little-endian; `length` counts bytes (a multiple of 4).
  static void encode(uint8_t* output, const uint32_t* input, size_t length);
  static void decode(uint32_t* output, const uint8_t* input, size_t length);
  static void copyBytes(uint8_t* output, const uint8_t* input, size_t length);
  // Writes through a volatile pointer so that clearing a context before it goes
  // out of scope is not optimised away.
  static void fillBytes(uint8_t* output, uint8_t value, size_t length);
};

}  // namespace service
