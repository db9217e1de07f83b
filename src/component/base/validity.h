#pragma once
// The validity markers of the component's buffers. An operation on a destroyed
// buffer, or on memory that is no buffer at all, must never go on silently: it
// ends the process at once.
#include <cstdint>
#include <cstdlib>

namespace component {

constexpr uint8_t kStringBufferMarker = 170;
constexpr uint8_t kDataBufferMarker = 219;

[[noreturn]] void invalidBufferFault(const char* what);

inline void checkMarker(uint8_t actual, uint8_t expected, const char* what) {
  if (actual != expected) invalidBufferFault(what);
}

}  // namespace component
