#include "component/base/validity.h"

#include <cstdio>

namespace component {

void invalidBufferFault(const char* what) {
  std::fprintf(stderr, "fatal: %s used after destruction or corrupted\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace component
