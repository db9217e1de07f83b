#pragma once
// One process per data folder. Two runs in one working folder would empty each
// other's link-code cache and read each other's replies (every upload hands its
// reply over through the one data/uploadresponse.xml), so a run locks the folder
// for its whole life, before its AppState empties the cache. The lock is taken
// on the file data/flingpost.lock, which stays; the system releases the lock
// when the process ends, however it ends.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"

namespace app {

class DataFolderLock {
 public:
  explicit DataFolderLock(platform::FileHandle file) : file_(file) {}
  ~DataFolderLock();  // releases the lock
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

 private:
  platform::FileHandle file_;
};

// How often a waiting run looks again whether the other one has ended.
constexpr uint32_t kLockRetryMs = 100;

// Creates the data folder and locks it. While another process holds the lock,
// calls `waiting` (when given) once and tries again every kLockRetryMs until
// `waitMs` has passed. Null when the folder is not locked; *why then says
// why, in words for the user, and for a busy folder how to use another one
// (`elsewhere`, a phrase after "end the other one, or ").
std::unique_ptr<DataFolderLock> lockDataFolder(uint32_t waitMs, const std::function<void()>& waiting,
                                               std::string* why,
                                               const std::string& elsewhere = "start this one from another folder");

}  // namespace app
