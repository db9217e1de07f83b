#include "support/temp_dir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir(bool enter) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path p = base / ("flingpost-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) path_ = p.string();
  }
  if (path_.empty()) std::abort();
  if (enter) {
    previous_ = fs::current_path().string();
    fs::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!previous_.empty()) fs::current_path(previous_, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return (fs::path(path_) / name).string(); }

}  // namespace testsupport
