#pragma once
// The validity markers of the component's buffers. An operation on a destroyed
// buffer, or on memory that is no buffer at all, must never go on silently: it
// ends the process at once.
#include <cstdint>
#include <cstdlib>

namespace component {

// 0xAA and 0xDB: patterns that zeroed or reused memory seldom holds, one per
// kind, so that neither kind of buffer passes for the other; keep them.
constexpr uint8_t kStringBufferMarker = 170;
constexpr uint8_t kDataBufferMarker = 219;

[[noreturn]] void invalidBufferFault(const char* what);

inline void checkMarker(uint8_t actual, uint8_t expected, const char* what) {
  if (actual != expected) invalidBufferFault(what);
}

// Markers are read and cleared through volatile accesses. A store in a
// destructor is dead to the optimiser (the object ends right after it), so an
// optimised build would otherwise drop the clearing and a destroyed buffer would
// pass its check.
inline uint8_t readMarker(const uint8_t& marker) { return *static_cast<const volatile uint8_t*>(&marker); }
inline void clearMarker(uint8_t& marker) { *static_cast<volatile uint8_t*>(&marker) = 0; }

}  // namespace component
