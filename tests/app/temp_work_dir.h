#pragma once
// Runs a test inside a fresh temporary folder as the working directory, so the
// client's "data" folder lands there. Restores the old working directory and
// removes the folder at the end. POSIX only, like the tests that use it.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

class TempWorkDir {
 public:
  TempWorkDir() : old_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "flingpost-test-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) abort();
    dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  ~TempWorkDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;

  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path old_;
  std::filesystem::path dir_;
};

}  // namespace testsupport
