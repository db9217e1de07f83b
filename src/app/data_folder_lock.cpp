#include "app/data_folder_lock.h"

#include "app/data_files.h"
#include "platform/clock.h"

namespace app {
namespace {

// The folder as the user finds it: its whole path.
std::string folderName() {
  const std::string full = platform::fullPath(dataFolder());
  return full.empty() ? dataFolder() : full;
}

}  // namespace

DataFolderLock::~DataFolderLock() { platform::closeFile(file_); }

std::unique_ptr<DataFolderLock> lockDataFolder(uint32_t waitMs, const std::function<void()>& waiting,
                                               std::string* why, const std::string& elsewhere) {
  // A failure to create the folder shows as the lock file's own failure below.
  platform::createDirectory(dataFolder());
  const std::string path = dataPath(kLockFile);
  const uint32_t start = platform::tickCount();
  bool told = false;
  for (;;) {
    platform::FileHandle file = platform::kInvalidFile;
    const platform::LockResult result = platform::lockFileExclusive(path, &file);
    if (result == platform::LockResult::kLocked) return std::make_unique<DataFolderLock>(file);
    if (result == platform::LockResult::kFailed) {
      *why = "The data folder " + folderName() + " cannot be used: " + path + ": " +
                 platform::osErrorText(platform::lastOsError());
      return nullptr;
    }
    if (platform::tickCount() - start >= waitMs) break;
    if (!told && waiting) waiting();
    told = true;
    platform::sleepMs(kLockRetryMs);
  }
  *why = "Another Flingpost is using the data folder " + folderName() +
             ". Only one Flingpost at a time can use it: end the other one, or " + elsewhere + ".";
  return nullptr;
}

}  // namespace app
