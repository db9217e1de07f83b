#pragma once
// A fresh folder under the system's temporary folder for one test, removed with
// everything in it when the test ends. With `enter` the test runs inside it (the
// client keeps its files under "data" of the working directory).
#include <string>

namespace testsupport {

class TempDir {
 public:
  explicit TempDir(bool enter = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + separator + name.
  std::string file(const std::string& name) const;

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace testsupport
