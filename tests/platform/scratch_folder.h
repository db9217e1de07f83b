#pragma once
// A folder of one test's own under the system's temporary folder, removed with
// everything in it when the test ends. Tests of several programs share it, so
// it lives in a header.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace fptest {

class ScratchFolder {
 public:
  ScratchFolder() {
    namespace fs = std::filesystem;
    // Some runtimes seed random_device with a constant: mix in the clock and an
    // address so that parallel test programs never pick the same name.
    std::random_device rd;
    std::mt19937_64 gen(uint64_t(rd()) ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        uint64_t(reinterpret_cast<uintptr_t>(this)));
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; attempt < 100 && path_.empty() && !ec; ++attempt) {
      const fs::path candidate = base / ("flingpost-test-" + std::to_string(gen()));
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) ADD_FAILURE() << "no scratch folder under the temporary folder: " << ec.message();
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // The path of `name` (UTF-8) inside the folder, as UTF-8 text. Temporary
  // folders are ASCII on the test machines, so for ASCII names this is also the
  // ANSI text that the platform's narrow functions take.
  std::string file(const std::string& name) const { return (path_ / std::filesystem::u8path(name)).u8string(); }

  // Creates `name` (UTF-8) holding `bytes`. Written under an ASCII name and then
  // renamed, because narrow file streams cannot name every character on Windows.
  void writeFile(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path staging = path_ / "staging.tmp";
    {
      std::ofstream out(staging, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), std::streamsize(bytes.size()));
      ASSERT_TRUE(out.good()) << "cannot write " << staging.u8string();
    }
    std::error_code ec;
    std::filesystem::rename(staging, path_ / std::filesystem::u8path(name), ec);
    ASSERT_FALSE(ec) << "cannot rename to " << name << ": " << ec.message();
  }

  std::string readFile(const std::string& name) const {
    std::ifstream in(path_ / std::filesystem::u8path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace fptest
