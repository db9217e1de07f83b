#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

uint32_t tickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void sleepMs(uint32_t ms) {
  timespec req{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  // Resume after a signal for the rest of the time, so a sleep is never cut short.
  while (nanosleep(&req, &req) == -1 && errno == EINTR) {
  }
}

}  // namespace platform
