#pragma once
// Shared helpers of the HTTP component tests: bytes with known content, and the
// upload's log and reply body.
#include <cstdint>
#include <string>

#include "component/http/http_upload.h"

namespace httptest {

// Deterministic bytes of every value, in no simple order, different for each seed.
inline std::string patternBytes(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = char(uint32_t(i + seed * 7919) * 2654435761u >> 24);
  return out;
}

inline std::string logText(component::HttpUpload& up) {
  std::string out;
  up.lastErrorText(out);
  return out;
}

inline std::string bodyOf(component::HttpUpload& up) {
  component::ByteData b;
  up.getResponseBody(b);
  return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}

}  // namespace httptest
