#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

#include "support/file_text.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace platform {
namespace {

using testsupport::readFileBytes;
using testsupport::writeFileBytes;

class PlatformFilesTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir_;
};

TEST_F(PlatformFilesTest, OpenSizeReadToTheEndAndClose) {
  writeFileBytes(dir_.file("data.bin"), std::string("0123456789", 10));
  const FileHandle f = openForReadAnsi(dir_.file("data.bin"));
  ASSERT_NE(f, kInvalidFile);
  uint64_t size = 0;
  ASSERT_TRUE(fileSize(f, &size));
  EXPECT_EQ(size, 10u);

  char buf[4];
  std::string back;
  uint32_t got = 0;
  do {
    ASSERT_TRUE(readFile(f, buf, sizeof buf, &got));
    back.append(buf, got);
  } while (got > 0);
  EXPECT_EQ(back, "0123456789");
  ASSERT_TRUE(readFile(f, buf, sizeof buf, &got));
  EXPECT_EQ(got, 0u) << "reading at the end keeps yielding 0";
  closeFile(f);
  closeFile(kInvalidFile);  // harmless
}

TEST_F(PlatformFilesTest, WideOpenTakesAUtf16Path) {
  writeFileBytes(dir_.file("wide.bin"), "w");
  const std::u16string path = std::filesystem::path(dir_.file("wide.bin")).u16string();
  const FileHandle f = openForReadWide(path);
  ASSERT_NE(f, kInvalidFile);
  closeFile(f);
  EXPECT_TRUE(hasWideFileApi());
}

TEST_F(PlatformFilesTest, FailedOpenLeavesAnErrorCodeWithText) {
  setLastOsError(0);
  EXPECT_EQ(openForReadAnsi(dir_.file("missing.bin")), kInvalidFile);
  const uint32_t code = lastOsError();
  EXPECT_NE(code, 0u);
  EXPECT_FALSE(isSharingViolation(code));
  EXPECT_FALSE(osErrorText(code).empty());

  setLastOsError(0);
  EXPECT_EQ(openForReadAnsi(dir_.path()), kInvalidFile) << "a folder is not a file";
  EXPECT_NE(lastOsError(), 0u);
}

TEST_F(PlatformFilesTest, CreateDirectoryIsTrueForNewAndExistingFoldersOnly) {
  const std::string folder = dir_.file("data");
  EXPECT_FALSE(pathExists(folder));
  EXPECT_TRUE(createDirectory(folder));
  EXPECT_TRUE(pathExists(folder));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(createDirectory(folder)) << "an existing folder is fine";

  writeFileBytes(dir_.file("plain"), "x");
  EXPECT_FALSE(createDirectory(dir_.file("plain"))) << "a file of that name is not a folder";
  EXPECT_FALSE(createDirectory(dir_.file("missing/data"))) << "parents are not created";
}

TEST_F(PlatformFilesTest, CurrentDirectoryIsAnExistingFolder) {
  const std::string cwd = currentDirectory();
  ASSERT_FALSE(cwd.empty());
  std::error_code ec;  // false, not a throw, when cwd names nothing
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::u8path(cwd), std::filesystem::current_path(), ec));
}

TEST_F(PlatformFilesTest, WriteWholeFileReplacesTheContent) {
  const std::string path = dir_.file("whole.txt");
  const std::string long_(5000, 'L');
  EXPECT_TRUE(writeWholeFile(path, long_.data(), long_.size()));
  EXPECT_EQ(readFileBytes(path), long_);
  EXPECT_TRUE(writeWholeFile(path, "short\0bytes", 11));
  EXPECT_EQ(readFileBytes(path), std::string("short\0bytes", 11));
  EXPECT_TRUE(writeWholeFile(path, "", 0));
  EXPECT_EQ(readFileBytes(path), "");
  EXPECT_FALSE(writeWholeFile(dir_.file("missing/whole.txt"), "x", 1));
}

TEST_F(PlatformFilesTest, ReplaceFileAtomicallyRoundTripsAndLeavesNoTemporaryFile) {
  const std::string path = dir_.file("logininfo.xml");
  writeFileBytes(dir_.file("logininfo.xml.tmp"), "left over from a crash");
  EXPECT_TRUE(replaceFileAtomically(path, "first", false));
  EXPECT_EQ(readFileBytes(path), "first");
  EXPECT_TRUE(replaceFileAtomically(path, std::string("second\0", 7), false));
  EXPECT_EQ(readFileBytes(path), std::string("second\0", 7));

  const std::filesystem::directory_iterator entries(dir_.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the file itself remains";

  EXPECT_FALSE(replaceFileAtomically(dir_.file("missing/x.xml"), "x", false));
}

TEST_F(PlatformFilesTest, AnExclusiveLockRefusesEveryOtherHolderUntilItsFileIsClosed) {
  const std::string path = dir_.file("flingpost.lock");
  FileHandle first = kInvalidFile, second = kInvalidFile;
  ASSERT_EQ(lockFileExclusive(path, &first), LockResult::kLocked);
  // Another open of the same file, as another process would make it.
  EXPECT_EQ(lockFileExclusive(path, &second), LockResult::kBusy);
  closeFile(first);
  ASSERT_EQ(lockFileExclusive(path, &second), LockResult::kLocked);
  closeFile(second);
  setLastOsError(0);
  EXPECT_EQ(lockFileExclusive(dir_.path(), &first), LockResult::kFailed) << "a folder is not a file";
  EXPECT_NE(lastOsError(), 0u);
}

#ifndef _WIN32
mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 0777;
}

TEST_F(PlatformFilesTest, OwnerOnlyFilesAreMode0600) {
  const std::string path = dir_.file("secret.xml");
  ASSERT_TRUE(replaceFileAtomically(path, "digest", true));
  EXPECT_EQ(modeOf(path), mode_t(0600));

  // Replacing a readable file with an owner-only one tightens it.
  const std::string open = dir_.file("open.xml");
  ASSERT_TRUE(replaceFileAtomically(open, "x", false));
  ::chmod(open.c_str(), 0644);
  ASSERT_TRUE(replaceFileAtomically(open, "y", true));
  EXPECT_EQ(modeOf(open), mode_t(0600));
}
#endif

}  // namespace
}  // namespace platform
