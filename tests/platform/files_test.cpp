#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/file_text.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

// A replaced file holds the whole new content, with nothing left beside it or after it.
TEST(PlatformFiles, AReplacedFileIsWholeAndAloneAndAMissingFolderFailsIt) {
  testsupport::TempDir dir;
  const std::string path = dir.file("logininfo.xml");
  testsupport::writeFileBytes(path + ".tmp", "left over from a crash");
  EXPECT_TRUE(replaceFileAtomically(path, "first and longer", true));
  EXPECT_TRUE(replaceFileAtomically(path, std::string("second\0", 7), false));
  EXPECT_EQ(testsupport::readFileBytes(path), std::string("second\0", 7));
  const std::filesystem::directory_iterator entries(dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the file itself remains";
  EXPECT_FALSE(replaceFileAtomically(dir.file("missing/x.xml"), "x", false));
  ASSERT_TRUE(writeWholeFile(path, "short", 5));
  EXPECT_EQ(testsupport::readFileBytes(path), "short");
}

TEST(PlatformFiles, AnExclusiveLockRefusesEveryOtherHolderUntilItsFileIsClosed) {
  testsupport::TempDir dir;
  const std::string path = dir.file("flingpost.lock");
  FileHandle first = kInvalidFile, second = kInvalidFile;
  ASSERT_EQ(lockFileExclusive(path, &first), LockResult::kLocked);
  EXPECT_EQ(lockFileExclusive(path, &second), LockResult::kBusy);  // as another process would
  closeFile(first);
  ASSERT_EQ(lockFileExclusive(path, &second), LockResult::kLocked);
  closeFile(second);
  setLastOsError(0);
  EXPECT_EQ(lockFileExclusive(dir.path(), &first), LockResult::kFailed) << "a folder is not a file";
  EXPECT_NE(lastOsError(), 0u);
}

}  // namespace
}  // namespace platform
