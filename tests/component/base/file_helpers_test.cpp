#include "component/base/file_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "component/base/encoded_string.h"
#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "platform/files.h"
#include "platform/western_code_set.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace component {
namespace {

using testsupport::readFileBytes;
using testsupport::writeFileBytes;

std::string logText(RecordingLog& log) {
  StringBuffer out;
  log.lastErrorText(out);
  return out.getString();
}

// Bytes of every value, in no simple order.
std::string someBytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

// The text of the last OS error as a failed open logs it: trimmed, one line.
std::string lastOsErrorInfo() {
  StringBuffer out;
  appendLastOsError(out);
  const std::string info = out.getString();
  EXPECT_TRUE(!info.empty() && info.front() != ' ' && info.back() != ' ' &&
              info.find_first_of("\r\n") == std::string::npos)
      << "[" << info << "]";
  return info;
}

// The log of a failed open, the OS text of the failure ending it.
std::string failedOpenLog(const char* kind, const std::string& nameKey, const std::string& name) {
  const std::string info = lastOsErrorInfo();
  return std::string("QuillonLog:\r\n  Failed to open file (") + kind + ")\r\n  " + nameKey + ": " + name +
         "\r\n  osErrorInfo: " + info + "\r\n";
}

class FileHelpersTest : public ::testing::Test {
 protected:
  // Creates `name` holding `bytes` and opens it for the upload.
  std::unique_ptr<FileSource> openFile(const std::string& name, const std::string& bytes) {
    writeFileBytes(dir_.file(name), bytes);
    return openForUpload(dir_.file(name).c_str(), nullptr);
  }
  testsupport::TempDir dir_;
};

// --- sizes ---------------------------------------------------------------------

TEST_F(FileHelpersTest, SizeOfZeroLengthAndNormalFiles) {
  for (const size_t size : {size_t(0), size_t(70001)}) {
    SCOPED_TRACE(size);
    const std::string path = dir_.file("photo.jpg");
    writeFileBytes(path, someBytes(size));
    bool ok = false;
    RecordingLog log;
    EXPECT_EQ(getFileSize(path.c_str(), &log, &ok), size);
    EXPECT_TRUE(ok);
    EXPECT_EQ(logText(log), "QuillonLog:\r\n");
    ok = false;
    EXPECT_EQ(getFileSize64(path.c_str(), nullptr, &ok), size);
    EXPECT_TRUE(ok);
  }
}

// The failed open names the path and ends with the OS text of the failure.
TEST_F(FileHelpersTest, MissingFileFailsWithTheOpenErrorInTheLog) {
  const std::string path = dir_.file("missing.jpg");
  RecordingLog sizeLog;
  bool ok = true;
  const uint32_t size = getFileSize(path.c_str(), &sizeLog, &ok);
  const std::string expected = failedOpenLog("2", "filename", path);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(logText(sizeLog), expected);

  RecordingLog uploadLog;
  EXPECT_EQ(openForUpload(path.c_str(), &uploadLog), nullptr);
  EXPECT_EQ(logText(uploadLog), expected);
  ok = true;
  EXPECT_EQ(getFileSize(path.c_str(), nullptr, &ok), 0u) << "no log is fine too";
  EXPECT_FALSE(ok);
}

TEST_F(FileHelpersTest, EmptyOrNullPathIsRefusedBeforeAnyOpen) {
  for (const char* path : {"", static_cast<const char*>(nullptr)}) {
    RecordingLog log;
    bool ok = true;
    EXPECT_EQ(getFileSize(path, &log, &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(openForUpload(path, &log), nullptr);
    EXPECT_EQ(logText(log),
              "QuillonLog:\r\n  Cannot open file, filename is empty.\r\n  Cannot open file, filename is empty.\r\n");
  }
}

#ifndef _WIN32
// A size of 4 GiB or more cannot be announced in the 32-bit Content-Length the
// upload computes; cutting it would send a corrupt request.
TEST_F(FileHelpersTest, FileOf4GiBOrMoreHasNo32BitSize) {
  const std::string big = dir_.file("huge.bin");
  writeFileBytes(big, "");
  std::error_code ec;
  std::filesystem::resize_file(big, 0x100000001ull, ec);
  if (ec) GTEST_SKIP() << "the file system refuses a sparse 4 GiB file: " << ec.message();

  bool ok = false;
  EXPECT_EQ(getFileSize64(big.c_str(), nullptr, &ok), 0x100000001ull);
  EXPECT_TRUE(ok);

  RecordingLog log;
  EXPECT_EQ(getFileSize(big.c_str(), &log, &ok), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(logText(log),
            "QuillonLog:\r\n  File is 4 GiB or larger; its size cannot be sent\r\n  filename: " + big + "\r\n");
}
#endif

// --- reading ---------------------------------------------------------------------

// Reads `source` to its end in chunks of `chunk` bytes; *reads counts the calls.
std::string readToEnd(DataSource& source, uint32_t chunk, int* reads) {
  std::string back;
  std::vector<char> buf(chunk);
  *reads = 0;
  while (!source.atEnd() && *reads < 100) {
    uint32_t got = 0;
    ++*reads;
    EXPECT_TRUE(source.read(buf.data(), chunk, &got, nullptr));
    back.append(buf.data(), got);
  }
  EXPECT_TRUE(source.atEnd()) << "the source never reached its end";
  return back;
}

void expectEmptyRead(DataSource& source) {
  char buf[4];
  uint32_t got = 7;
  EXPECT_TRUE(source.read(buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 0u);
}

// The end of a file shows as one read that delivers nothing; later reads
// deliver nothing too.
TEST_F(FileHelpersTest, FileReadInChunksEndsWithOneEmptyRead) {
  struct Case {
    size_t size;
    int reads;
  };
  for (const Case c : {Case{0, 1}, Case{3 * 4096 + 123, 5}}) {
    SCOPED_TRACE(c.size);
    const std::string content = someBytes(c.size);
    const auto source = openFile("photo.jpg", content);
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->atEnd());
    int reads = 0;
    EXPECT_EQ(readToEnd(*source, 4096, &reads), content);
    EXPECT_EQ(reads, c.reads);
    EXPECT_EQ(source->bytesRead(), c.size);
    expectEmptyRead(*source);
  }
  FileSource unattached;
  EXPECT_TRUE(unattached.atEnd());
  expectEmptyRead(unattached);
}

TEST_F(FileHelpersTest, ReadRefusesAZeroCountOrNullBuffer) {
  const auto source = openFile("a.txt", "abc");
  ASSERT_NE(source, nullptr);
  char buf[4];
  uint32_t got = 7;
  EXPECT_FALSE(source->read(buf, 0, &got, nullptr));
  EXPECT_EQ(got, 0u);
  got = 7;
  EXPECT_FALSE(source->read(nullptr, 4, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(source->atEnd()) << "a refused read leaves the file open";
  EXPECT_TRUE(source->read(buf, 4, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "abc");
}

// Asks to stop at the second chunk.
struct StoppingSink : ReadProgressSink {
  bool chunkRead(uint32_t bytes) override {
    chunks.push_back(bytes);
    return chunks.size() == 2;
  }
  std::vector<uint32_t> chunks;
};

TEST_F(FileHelpersTest, ProgressSinkSeesEveryChunkAndCanStopTheRead) {
  const auto source = openFile("photo.jpg", someBytes(250));
  ASSERT_NE(source, nullptr);
  StoppingSink sink;
  source->setProgressSink(&sink);
  RecordingLog log;
  char buf[100];
  uint32_t got = 0;
  EXPECT_TRUE(source->read(buf, 100, &got, &log));
  EXPECT_EQ(got, 100u);
  EXPECT_FALSE(source->read(buf, 100, &got, &log));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(sink.chunks, (std::vector<uint32_t>{100, 100}));
  EXPECT_EQ(source->bytesRead(), 200u);
  EXPECT_EQ(logText(log), "QuillonLog:\r\n  Aborted by application\r\n");
}

// --- path forms ----------------------------------------------------------------------

class FileHelpersCodeSetTest : public fptest::WesternCodeSetTest {
 protected:
  // The UTF-8 path of `name` (UTF-8) in the folder; the folder itself is ASCII.
  std::string utf8File(const std::string& name) const {
    return (std::filesystem::u8path(dir_.path()) / std::filesystem::u8path(name)).u8string();
  }
  testsupport::TempDir dir_;
};

// U+0100 is not in Windows-1252: the path must take the wide road (on POSIX the
// UTF-8 bytes that name the file on disk), never a lossy ANSI one.
TEST_F(FileHelpersCodeSetTest, PathOutsideTheAnsiCodeSetOpensThroughTheWidePath) {
  const std::string path = utf8File(std::string("photo-") + fptest::kUtf8AMacron + ".jpg");
  // Narrow file streams cannot name every character on Windows: write, then rename.
  writeFileBytes(dir_.file("staging.tmp"), "wide road");
  std::error_code renamed;
  std::filesystem::rename(dir_.file("staging.tmp"), std::filesystem::u8path(path), renamed);
  // Wine stores names in the host's locale: under a plain "C" locale this name
  // cannot exist on disk at all.
  if (renamed) GTEST_SKIP() << "the file system cannot name the file: " << renamed.message();

  EncodedString encoded;
  encoded.setUtf8(path.c_str());
  ASSERT_FALSE(encoded.fitsAnsi());

  bool ok = false;
  RecordingLog log;
  EXPECT_EQ(getFileSize(path.c_str(), &log, &ok), 9u) << logText(log);
  EXPECT_TRUE(ok);

  const auto source = openForUpload(path.c_str(), nullptr);
  ASSERT_NE(source, nullptr);
  int reads = 0;
  EXPECT_EQ(readToEnd(*source, 32, &reads), "wide road");
}

TEST_F(FileHelpersCodeSetTest, MissingPathIsLoggedInTheFormThatWasOpened) {
  const std::string wide = utf8File(std::string("gone-") + fptest::kUtf8AMacron + ".jpg");
  RecordingLog wideLog;
  const auto source = openForUpload(wide.c_str(), &wideLog);
  const std::string wideExpected = failedOpenLog("3", "utf8Filename", wide);
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(logText(wideLog), wideExpected);

  // é fits Windows-1252, so the ANSI road is taken and the log names it in ANSI.
  EncodedString ansi;
  ansi.setUtf8(utf8File(std::string("gone-") + fptest::kUtf8EAcute + ".jpg").c_str());
  RecordingLog ansiLog;
  const platform::FileHandle file = openFileForRead(ansi, &ansiLog);
  const std::string ansiExpected = failedOpenLog("2", "filename", ansi.getAnsi());
  EXPECT_EQ(file, platform::kInvalidFile);
  EXPECT_EQ(logText(ansiLog), ansiExpected);
  EXPECT_NE(std::string(ansi.getAnsi()).find("gone-\xE9.jpg"), std::string::npos);
}

#ifdef _WIN32
// Another program holding the file without read sharing: three retries 50 ms
// apart, then the open gives up with the sharing violation in the log.
TEST_F(FileHelpersTest, SharingViolationIsRetriedThreeTimes) {
  const std::string path = dir_.file("locked.jpg");
  writeFileBytes(path, "locked");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  RecordingLog log;
  const auto start = std::chrono::steady_clock::now();
  auto source = openForUpload(path.c_str(), &log);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::string expected = failedOpenLog("2", "filename", path);
  CloseHandle(holder);
  EXPECT_EQ(source, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(140));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(logText(log), expected);

  auto afterwards = openForUpload(path.c_str(), nullptr);
  EXPECT_NE(afterwards, nullptr) << "released files open again";
}
#endif

// --- writing ---------------------------------------------------------------------

TEST_F(FileHelpersTest, WriteWholeFileWritesOrLogsWhyNot) {
  const std::string bytes = someBytes(30000);
  const std::string out = dir_.file("out.bin");
  RecordingLog log;
  EXPECT_TRUE(writeWholeFile(out.c_str(), bytes.data(), uint32_t(bytes.size()), &log));
  EXPECT_EQ(readFileBytes(out), bytes);
  EXPECT_EQ(logText(log), "QuillonLog:\r\n");

  EXPECT_FALSE(writeWholeFile("", "x", 1, &log));
  EXPECT_FALSE(writeWholeFile(nullptr, "x", 1, &log));
  EXPECT_EQ(logText(log), "QuillonLog:\r\n  Failed to write complete file (1)\r\n  Failed to write complete file (1)\r\n");

  log.clearLog();
  const std::string nowhere = dir_.file("no-such-folder/out.bin");
  EXPECT_FALSE(writeWholeFile(nowhere.c_str(), "x", 1, &log));
  EXPECT_EQ(logText(log), "QuillonLog:\r\n  Failed to write complete file (7)\r\n  filename: " + nowhere + "\r\n");
}

}  // namespace
}  // namespace component
