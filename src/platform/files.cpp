#include "platform/files.h"

namespace platform {

bool readWholeFile(const std::string& path, size_t maxBytes, std::string* bytes, bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  const FileHandle file = openForReadAnsi(path);
  if (file == kInvalidFile) return false;
  uint64_t size = 0;
  bool ok = fileSize(file, &size);
  std::string text;
  if (ok && size > maxBytes) {
    if (tooLarge) *tooLarge = true;
    ok = false;
  }
  if (ok) {
    // The size is a hint: a file that grows meanwhile is read to its end, within the cap.
    text.reserve(size_t(size));
    char buffer[64 * 1024];
    uint32_t got = 0;
    while ((ok = readFile(file, buffer, sizeof buffer, &got)) && got > 0) {
      if (text.size() + got > maxBytes) {
        if (tooLarge) *tooLarge = true;
        ok = false;
        break;
      }
      text.append(buffer, got);
    }
  }
  const uint32_t error = lastOsError();
  closeFile(file);
  setLastOsError(error);
  if (ok) bytes->swap(text);
  return ok;
}

}  // namespace platform
