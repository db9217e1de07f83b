#pragma once
// Whole-file reads and writes for tests; a file that cannot be read reads as empty.
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

inline std::string readFileBytes(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace testsupport
