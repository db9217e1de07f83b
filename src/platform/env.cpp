#include "platform/env.h"

#include "platform/clock.h"
#include "platform/sockets.h"

namespace platform {

Env::~Env() = default;

uint32_t Env::tickCount() { return platform::tickCount(); }

int Env::startupSockets(uint16_t version, uint16_t* granted) { return platform::startupSockets(version, granted); }

CodeSet Env::codeSet() const { return CodeSet(); }

Env& Env::standard() {
  static Env* const env = new Env;
  return *env;
}

}  // namespace platform
