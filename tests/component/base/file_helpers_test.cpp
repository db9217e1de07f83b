#include "component/base/file_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "component/base/encoded_string.h"
#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "platform/files.h"
#include "platform/scratch_folder.h"
#include "platform/western_code_set.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace component {
namespace {

std::string logText(RecordingLog& log) {
  StringBuffer out;
  log.lastErrorText(out);
  return out.getString();
}

std::string someBytes(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = char(x >> 24);
  }
  return s;
}

// Splits off the "osErrorInfo" line that ends a failed open and checks that it
// holds a trimmed, non-empty text. Returns the log text before that line.
std::string withoutOsErrorLine(const std::string& text) {
  const std::string key = "  osErrorInfo: ";
  const size_t at = text.rfind(key);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no osErrorInfo line in:\n" << text;
    return text;
  }
  const std::string line = text.substr(at + key.size());
  EXPECT_GE(line.size(), 3u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n") << "the OS text must be the last line";
  const std::string info = line.substr(0, line.size() - 2);
  EXPECT_FALSE(info.empty());
  EXPECT_EQ(info.find_first_of("\r\n"), std::string::npos) << info;
  if (!info.empty()) {
    EXPECT_NE(info.front(), ' ');
    EXPECT_NE(info.back(), ' ');
  }
  return text.substr(0, at);
}

class FileHelpersTest : public ::testing::Test {
 protected:
  fptest::ScratchFolder dir_;
};

// --- sizes ---------------------------------------------------------------------

TEST_F(FileHelpersTest, SizeOfZeroLengthFileIsZeroWithSuccess) {
  dir_.writeFile("empty.bin", "");
  bool ok = false;
  RecordingLog log;
  EXPECT_EQ(getFileSize(dir_.file("empty.bin").c_str(), &log, &ok), 0u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(logText(log), "QuillonLog:\r\n");
}

TEST_F(FileHelpersTest, SizeOfNormalFile) {
  dir_.writeFile("photo.jpg", someBytes(70001));
  bool ok = false;
  EXPECT_EQ(getFileSize(dir_.file("photo.jpg").c_str(), nullptr, &ok), 70001u);
  EXPECT_TRUE(ok);
  ok = false;
  EXPECT_EQ(getFileSize64(dir_.file("photo.jpg").c_str(), nullptr, &ok), 70001u);
  EXPECT_TRUE(ok);
}

TEST_F(FileHelpersTest, MissingFileFailsWithTheOpenErrorInTheLog) {
  const std::string path = dir_.file("missing.jpg");
  RecordingLog log;
  bool ok = true;
  EXPECT_EQ(getFileSize(path.c_str(), &log, &ok), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(withoutOsErrorLine(logText(log)),
            "QuillonLog:\r\n"
            "  Failed to open file (2)\r\n"
            "  filename: " +
                path + "\r\n");

  bool never = false;
  EXPECT_EQ(getFileSize(path.c_str(), nullptr, &never), 0u) << "no log is fine too";
  EXPECT_FALSE(never);
}

TEST_F(FileHelpersTest, EmptyOrNullPathIsRefusedBeforeAnyOpen) {
  for (const char* path : {"", static_cast<const char*>(nullptr)}) {
    RecordingLog log;
    bool ok = true;
    EXPECT_EQ(getFileSize(path, &log, &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(logText(log), "QuillonLog:\r\n  Cannot open file, filename is empty.\r\n");

    RecordingLog uploadLog;
    EXPECT_EQ(openForUpload(path, &uploadLog), nullptr);
    EXPECT_EQ(logText(uploadLog), "QuillonLog:\r\n  Cannot open file, filename is empty.\r\n");
  }
}

TEST_F(FileHelpersTest, FolderIsNotAFileToUpload) {
  ASSERT_TRUE(std::filesystem::create_directory(dir_.path() / "album"));
  RecordingLog log;
  EXPECT_EQ(openForUpload(dir_.file("album").c_str(), &log), nullptr);
  EXPECT_NE(logText(log).find("Failed to open file (2)"), std::string::npos);
}

#ifndef _WIN32
// A size of 4 GiB or more cannot be announced in the 32-bit Content-Length the
// upload computes; cutting it would send a corrupt request.
TEST_F(FileHelpersTest, FileOf4GiBOrMoreHasNo32BitSize) {
  const std::filesystem::path big = dir_.path() / "huge.bin";
  dir_.writeFile("huge.bin", "");
  std::error_code ec;
  std::filesystem::resize_file(big, 0x100000001ull, ec);
  if (ec) GTEST_SKIP() << "the file system refuses a sparse 4 GiB file: " << ec.message();

  bool ok = false;
  EXPECT_EQ(getFileSize64(big.u8string().c_str(), nullptr, &ok), 0x100000001ull);
  EXPECT_TRUE(ok);

  RecordingLog log;
  ok = true;
  EXPECT_EQ(getFileSize(big.u8string().c_str(), &log, &ok), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(logText(log),
            "QuillonLog:\r\n"
            "  File is 4 GiB or larger; its size cannot be sent\r\n"
            "  filename: " +
                big.u8string() + "\r\n");
}
#endif

// --- reading ---------------------------------------------------------------------

TEST_F(FileHelpersTest, ZeroLengthFileYieldsOneEmptyReadThenItsEnd) {
  dir_.writeFile("empty.bin", "");
  auto source = openForUpload(dir_.file("empty.bin").c_str(), nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_FALSE(source->atEnd());
  char buf[16];
  uint32_t got = 99;
  EXPECT_TRUE(source->read(buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(source->atEnd());
  got = 99;
  EXPECT_TRUE(source->read(buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(source->bytesRead(), 0u);
}

TEST_F(FileHelpersTest, FileReadInChunksGivesBackItsBytes) {
  const std::string content = someBytes(3 * 4096 + 123);
  dir_.writeFile("photo.jpg", content);
  auto source = openForUpload(dir_.file("photo.jpg").c_str(), nullptr);
  ASSERT_NE(source, nullptr);

  std::string back;
  std::vector<char> chunk(4096);
  int reads = 0;
  while (!source->atEnd()) {
    uint32_t got = 0;
    ASSERT_TRUE(source->read(chunk.data(), uint32_t(chunk.size()), &got, nullptr));
    back.append(chunk.data(), got);
    ASSERT_LT(++reads, 100) << "the source never reached its end";
  }
  EXPECT_EQ(back, content);
  EXPECT_EQ(source->bytesRead(), content.size());
  EXPECT_GE(reads, 5) << "four chunks and the empty read that ends the file";
}

TEST_F(FileHelpersTest, ReadRefusesAZeroCountOrNullBuffer) {
  dir_.writeFile("a.txt", "abc");
  auto source = openForUpload(dir_.file("a.txt").c_str(), nullptr);
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

TEST_F(FileHelpersTest, UnattachedSourceIsAtItsEnd) {
  FileSource source;
  EXPECT_TRUE(source.atEnd());
  char buf[4];
  uint32_t got = 7;
  EXPECT_TRUE(source.read(buf, 4, &got, nullptr));
  EXPECT_EQ(got, 0u);
}

class CountingSink : public ReadProgressSink {
 public:
  explicit CountingSink(int stopAfter) : stopAfter_(stopAfter) {}
  bool chunkRead(uint32_t bytes) override {
    chunks.push_back(bytes);
    return int(chunks.size()) >= stopAfter_;
  }
  std::vector<uint32_t> chunks;

 private:
  int stopAfter_;
};

TEST_F(FileHelpersTest, ProgressSinkSeesEveryChunkAndCanStopTheRead) {
  dir_.writeFile("photo.jpg", someBytes(250));
  auto source = openForUpload(dir_.file("photo.jpg").c_str(), nullptr);
  ASSERT_NE(source, nullptr);
  CountingSink sink(2);
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
  fptest::ScratchFolder dir_;
};

// U+0100 is not in Windows-1252: the path must take the wide road (on POSIX the
// UTF-8 bytes that name the file on disk), never a lossy ANSI one.
TEST_F(FileHelpersCodeSetTest, PathOutsideTheAnsiCodeSetOpensThroughTheWidePath) {
  const std::string name = std::string("photo-") + fptest::kUtf8AMacron + ".jpg";
  dir_.writeFile(name, "wide road");
  const std::string path = dir_.file(name);

  EncodedString encoded;
  encoded.setUtf8(path.c_str());
  ASSERT_FALSE(encoded.fitsAnsi());

  bool ok = false;
  RecordingLog log;
  EXPECT_EQ(getFileSize(path.c_str(), &log, &ok), 9u) << logText(log);
  EXPECT_TRUE(ok);

  auto source = openForUpload(path.c_str(), nullptr);
  ASSERT_NE(source, nullptr);
  char buf[32];
  uint32_t got = 0;
  ASSERT_TRUE(source->read(buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "wide road");
}

TEST_F(FileHelpersCodeSetTest, MissingWidePathIsLoggedWithItsUtf8Name) {
  const std::string path = dir_.file(std::string("gone-") + fptest::kUtf8AMacron + ".jpg");
  RecordingLog log;
  EXPECT_EQ(openForUpload(path.c_str(), &log), nullptr);
  EXPECT_EQ(withoutOsErrorLine(logText(log)),
            "QuillonLog:\r\n"
            "  Failed to open file (3)\r\n"
            "  utf8Filename: " +
                path + "\r\n");
}

TEST_F(FileHelpersCodeSetTest, PathInsideTheAnsiCodeSetIsLoggedInAnsi) {
  // é fits Windows-1252, so the ANSI road is taken and the log names it in ANSI.
  const std::string path = dir_.file(std::string("gone-") + fptest::kUtf8EAcute + ".jpg");
  EncodedString encoded;
  encoded.setUtf8(path.c_str());
  RecordingLog log;
  EXPECT_EQ(openFileForRead(encoded, &log), platform::kInvalidFile);
  EXPECT_EQ(withoutOsErrorLine(logText(log)),
            "QuillonLog:\r\n"
            "  Failed to open file (2)\r\n"
            "  filename: " +
                std::string(encoded.getAnsi()) + "\r\n");
  EXPECT_NE(std::string(encoded.getAnsi()).find("gone-\xE9.jpg"), std::string::npos);
}

#ifdef _WIN32
// Another program holding the file without read sharing: three retries 50 ms
// apart, then the open gives up with the sharing violation in the log.
TEST_F(FileHelpersTest, SharingViolationIsRetriedThreeTimes) {
  dir_.writeFile("locked.jpg", "locked");
  const std::string path = dir_.file("locked.jpg");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  RecordingLog log;
  const auto start = std::chrono::steady_clock::now();
  auto source = openForUpload(path.c_str(), &log);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  CloseHandle(holder);
  EXPECT_EQ(source, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(140));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_NE(logText(log).find("  Failed to open file (2)\r\n"), std::string::npos) << logText(log);

  auto afterwards = openForUpload(path.c_str(), nullptr);
  EXPECT_NE(afterwards, nullptr) << "released files open again";
}
#endif

// --- other helpers ---------------------------------------------------------------------

TEST_F(FileHelpersTest, AppendLastOsErrorAppendsTheTrimmedText) {
  ASSERT_EQ(platform::openForReadAnsi(dir_.file("missing.jpg")), platform::kInvalidFile);
  StringBuffer out("error: ");
  appendLastOsError(out);
  const std::string text = out.getString();
  ASSERT_GT(text.size(), 7u);
  EXPECT_EQ(text.substr(0, 7), "error: ");
  EXPECT_NE(text[7], ' ');
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "trailing line end trimmed";
  EXPECT_NE(text.back(), ' ');
}

TEST_F(FileHelpersTest, WriteWholeFileWritesOrLogsWhyNot) {
  const std::string bytes = someBytes(30000);
  RecordingLog log;
  EXPECT_TRUE(writeWholeFile(dir_.file("out.bin").c_str(), bytes.data(), uint32_t(bytes.size()), &log));
  EXPECT_EQ(dir_.readFile("out.bin"), bytes);
  EXPECT_TRUE(writeWholeFile(dir_.file("out.bin").c_str(), "short", 5, &log));
  EXPECT_EQ(dir_.readFile("out.bin"), "short") << "the old content is replaced, not overwritten in place";
  EXPECT_TRUE(writeWholeFile(dir_.file("zero.bin").c_str(), "", 0, &log));
  EXPECT_EQ(dir_.readFile("zero.bin"), "");
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
