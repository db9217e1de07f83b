#include "platform/sockets.h"

#include <cstdio>

namespace platform {

std::string formatIPv4(uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  char buf[20];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return buf;
}

}  // namespace platform
