#pragma once
// The component's file access on the upload path: sizes, opening with a short
// retry on sharing conflicts, and FileSource, the chunked reader over an open file.
#include <cstdint>
#include <memory>

#include "platform/files.h"

namespace component {

class DiagnosticLog;
class EncodedString;
class StringBuffer;

// The size of a file given by its path, in any of its forms (an ANSI path
// stays exactly as given). *ok is false, and the result 0, for an empty path, a
// file that cannot be opened or whose size cannot be read, and for a file of 4
// GiB or more, whose size does not fit the 32-bit result (an upload announcing
// a cut size would send a corrupt request).
uint32_t getFileSize(EncodedString& path, DiagnosticLog* log, bool* ok);
// The whole 64-bit size, for callers that can carry it; also by a UTF-8 path.
uint64_t getFileSize64(EncodedString& path, DiagnosticLog* log, bool* ok);
uint64_t getFileSize64(const char* utf8Path, DiagnosticLog* log, bool* ok);

// Opens an existing file for reading. A sharing violation is retried 3 times,
// 50 ms apart; any other error ends the attempts at once. Returns
// platform::kInvalidFile on failure, with the reason in `log` when one is given.
platform::FileHandle openFileForRead(EncodedString& path, DiagnosticLog* log);

// Reads an open file in chunks. At its end exactly when its handle is closed.
// Reads are served from a buffer that one platform read of kReadAheadBytes
// fills, so a file read in small chunks costs few system calls.
class FileSource {
 public:
  FileSource() = default;
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Takes ownership of `file`, closing a handle owned before.
  void attach(platform::FileHandle file);
  // Up to `max` bytes, at most what the buffer still holds (refilled when
  // empty). The end of the file shows as one read that delivers 0 bytes and
  // closes the handle; a platform read error ends the file the same way. False
  // for a zero `max` or a null buffer.
  bool read(void* buffer, uint32_t max, uint32_t* got);
  bool atEnd() const;
  // Instead of read, for a sink that sends the bytes from the file itself:
  // takes up to `max` bytes without reading them; *offset is where they lie
  // in handle(). The file ends at its size at the first take, which shows as
  // with read. One source is either read or taken from.
  bool take(uint32_t max, uint64_t* offset, uint32_t* got);
  platform::FileHandle handle() const { return handle_; }

  static constexpr uint32_t kReadAheadBytes = 256 * 1024;

 private:
  void close();

  bool ownsHandle_ = false;
  platform::FileHandle handle_ = platform::kInvalidFile;
  // Bytes read from the file and not yet handed out: [readAt_, readEnd_).
  std::unique_ptr<unsigned char[]> readAhead_;
  uint32_t readAt_ = 0;
  uint32_t readEnd_ = 0;
  // For take: the next offset, and where the file ends (unknown at first).
  uint64_t takeAt_ = 0;
  uint64_t takeEnd_ = UINT64_MAX;
};

// Opens a file for the upload: a FileSource owning the open file, or null.
std::unique_ptr<FileSource> openForUpload(EncodedString& path, DiagnosticLog* log);

}  // namespace component
