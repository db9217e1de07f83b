#include <cstdlib>
#include <sstream>

#include "support/tls_front.h"

namespace testsupport {

struct TlsFront::Servers {};

TlsFront::TlsFront() {
  const char* description = std::getenv("FLINGPOST_TEST_TLS_FRONT");
  if (!description || !*description) {
    whyNot_ = "FLINGPOST_TEST_TLS_FRONT is not set: scripts/test starts the TLS front for the Windows tests";
    return;
  }
  std::istringstream in(description);
  std::string ca;
  in >> ca;
  for (uint16_t& port : ports_) in >> port;
  if (!in || ca.empty()) {
    whyNot_ = std::string("FLINGPOST_TEST_TLS_FRONT is not \"CAFILE PORT...\": ") + description;
    return;
  }
  // The front names a path of the host; Wine shows the host's root as drive Z:.
  caFile_ = ca[0] == '/' ? "Z:" + ca : ca;
}

TlsFront::~TlsFront() = default;

}  // namespace testsupport
