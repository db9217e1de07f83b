#include "platform/sockets.h"

#include <cctype>
#include <cstring>

namespace platform {

bool lookUpIPv4(const std::string& host, uint32_t* address) {
  std::string lower = host;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "localhost") {
    // 127.0.0.1 in network byte order, whatever the host's own order.
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::memcpy(address, loopback, sizeof loopback);
    return true;
  }
  return systemLookUpIPv4(host, address);
}

}  // namespace platform
