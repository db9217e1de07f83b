#pragma once
// Env: what the client takes from the system that a test must be able to
// replace: the millisecond clock, the start-up of the socket library and the
// ANSI code set. Code that needs them is handed an Env when it is made: the
// program hands in Env::standard(), the system's own, and a test derives an Env
// of its own that overrides what it replaces. An Env outlives everything it
// is handed to, and is used from any thread: an override must be safe for that.
#include <cstdint>

#include "platform/charset.h"

namespace platform {

class Env {
 public:
  Env() = default;
  virtual ~Env();
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

  // Milliseconds, as tickCount() of clock.h.
  virtual uint32_t tickCount();
  // The socket library's start-up, as startupSockets() of sockets.h.
  virtual int startupSockets(uint16_t version, uint16_t* granted);
  // The ANSI code set of the text at the client's boundaries.
  virtual CodeSet codeSet() const;

  // The system's own, for the program; never destroyed.
  static Env& standard();
};

}  // namespace platform
