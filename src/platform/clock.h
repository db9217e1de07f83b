#pragma once
// Millisecond time for the whole client.
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, as an unsigned 32-bit value that wraps
// about every 49.7 days exactly like the Windows tick counter.
uint32_t tickCount();

// Suspends the calling thread for at least `ms` milliseconds.
void sleepMs(uint32_t ms);

}  // namespace platform
