#include "component/base/file_helpers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "component/base/encoded_string.h"
#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "platform/clock.h"

namespace component {
namespace {

constexpr int kSharingRetries = 3;
constexpr uint32_t kSharingRetryPauseMs = 50;

void appendOsError(StringBuffer& out, uint32_t code) {
  StringBuffer text(platform::osErrorText(code).c_str());
  text.trim();
  out.appendBuffer(text);
}

}  // namespace

platform::FileHandle openFileForRead(EncodedString& path, DiagnosticLog* log) {
  if (path.charCount() == 0) {
    if (log) log->logError("Cannot open file, filename is empty.");
    return platform::kInvalidFile;
  }
  // The ANSI functions serve paths that fit the code set, and every path on the
  // systems without wide file functions.
  const bool useAnsi = path.fitsAnsi() || !platform::hasWideFileApi();
  platform::FileHandle h = platform::kInvalidFile;
  uint32_t err = 0;
  for (int attempt = 0;; ++attempt) {
    h = useAnsi ? platform::openForReadAnsi(path.getAnsi())
                : platform::openForReadWide(std::u16string(path.getUtf16()));
    if (h != platform::kInvalidFile) return h;
    err = platform::lastOsError();
    if (!platform::isSharingViolation(err) || attempt >= kSharingRetries) break;
    platform::sleepMs(kSharingRetryPauseMs);
  }
  if (log) {
    if (useAnsi) {
      log->logError("Failed to open file (2)");
      log->logData("filename", path.getAnsi());
    } else {
      log->logError("Failed to open file (3)");
      if (path.fitsAnsi()) log->logData("filename", path.getAnsi());
      else log->logData("utf8Filename", path.getUtf8());
    }
    StringBuffer info;
    appendOsError(info, err);
    log->logData("osErrorInfo", info.getString());
  }
  platform::setLastOsError(err);
  return platform::kInvalidFile;
}

uint64_t getFileSize64(EncodedString& path, DiagnosticLog* log, bool* ok) {
  *ok = false;
  const platform::FileHandle h = openFileForRead(path, log);
  if (h == platform::kInvalidFile) return 0;
  uint64_t size = 0;
  if (!platform::fileSize(h, &size)) {
    const uint32_t err = platform::lastOsError();
    if (log) {
      StringBuffer info;
      appendOsError(info, err);
      log->logError(info.getString());
      log->logData("filename", path.getUtf8());
      log->logError("Failed to get file size");
    }
    platform::closeFile(h);
    return 0;
  }
  platform::closeFile(h);
  *ok = true;
  return size;
}

uint32_t getFileSize(EncodedString& path, DiagnosticLog* log, bool* ok) {
  const uint64_t size = getFileSize64(path, log, ok);
  if (*ok && size > 0xFFFFFFFFull) {
    *ok = false;
    if (log) {
      log->logError("File is 4 GiB or larger; its size cannot be sent");
      log->logData("filename", path.getUtf8());
    }
    return 0;
  }
  return *ok ? uint32_t(size) : 0;
}

uint64_t getFileSize64(const char* utf8Path, DiagnosticLog* log, bool* ok) {
  EncodedString path;
  path.setUtf8(utf8Path);
  return getFileSize64(path, log, ok);
}

FileSource::~FileSource() { close(); }

void FileSource::close() {
  if (ownsHandle_ && handle_ != platform::kInvalidFile) platform::closeFile(handle_);
  handle_ = platform::kInvalidFile;
  ownsHandle_ = false;
  readAhead_.reset();
  readAt_ = readEnd_ = 0;
}

void FileSource::attach(platform::FileHandle file) {
  close();
  handle_ = file;
  ownsHandle_ = file != platform::kInvalidFile;
}

bool FileSource::atEnd() const { return handle_ == platform::kInvalidFile; }

bool FileSource::read(void* buffer, uint32_t max, uint32_t* got) {
  *got = 0;
  if (max == 0 || !buffer) return false;
  if (atEnd()) return true;
  if (readAt_ == readEnd_) {
    if (!readAhead_) readAhead_.reset(new unsigned char[kReadAheadBytes]);
    uint32_t filled = 0;
    if (!platform::readFile(handle_, readAhead_.get(), kReadAheadBytes, &filled) || filled == 0) {
      close();
      return true;
    }
    readAt_ = 0;
    readEnd_ = filled;
  }
  const uint32_t n = std::min(max, readEnd_ - readAt_);
  std::memcpy(buffer, readAhead_.get() + readAt_, n);
  readAt_ += n;
  *got = n;
  return true;
}

bool FileSource::take(uint32_t max, uint64_t* offset, uint32_t* got) {
  *got = 0;
  if (max == 0) return false;
  if (atEnd()) return true;
  if (takeEnd_ == UINT64_MAX && !platform::fileSize(handle_, &takeEnd_)) takeEnd_ = 0;
  if (takeAt_ >= takeEnd_) {
    close();
    return true;
  }
  const uint32_t n = uint32_t(std::min<uint64_t>(max, takeEnd_ - takeAt_));
  *offset = takeAt_;
  takeAt_ += n;
  *got = n;
  return true;
}

std::unique_ptr<FileSource> openForUpload(EncodedString& path, DiagnosticLog* log) {
  const platform::FileHandle h = openFileForRead(path, log);
  if (h == platform::kInvalidFile) return nullptr;
  auto source = std::make_unique<FileSource>();
  source->attach(h);
  return source;
}

}  // namespace component
