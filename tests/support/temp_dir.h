#pragma once
// A fresh folder under the system's temporary folder, removed with everything in
// it when the test ends. With `enter` the test runs inside it (the client keeps
// its files under "data" of the working directory).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace testsupport {

class TempDir {
 public:
  explicit TempDir(bool enter = false) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::error_code ec;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
      const std::string name = "flingpost-test-" + std::to_string(random()) + "-" + std::to_string(counter++);
      if (std::filesystem::create_directory(base / name, ec)) path_ = (base / name).string();
    }
    if (path_.empty()) std::abort();
    if (enter) previous_ = std::filesystem::current_path().string();
    if (enter) std::filesystem::current_path(path_);
  }
  ~TempDir() {
    std::error_code ec;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

 private:
  std::string path_, previous_;
};

}  // namespace testsupport
