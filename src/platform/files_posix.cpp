#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/charset.h"
#include "platform/files.h"

namespace platform {

char pathSeparator() { return '/'; }

FileHandle openForReadAnsi(const std::string& path) {
  int fd;
  // Non-blocking, so that a pipe with no writer cannot hold the open; the
  // descriptor goes back to blocking once it is known to be a regular file.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidFile;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return kInvalidFile;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

FileHandle openForReadWide(const std::u16string& path) { return openForReadAnsi(utf16ToUtf8(path)); }

bool hasWideFileApi() { return true; }

uint32_t lastOsError() { return static_cast<uint32_t>(errno); }
void setLastOsError(uint32_t code) { errno = static_cast<int>(code); }
bool isSharingViolation(uint32_t) { return false; }  // POSIX has no mandatory sharing modes

std::string osErrorText(uint32_t code) {
  char buf[256];
  // The GNU variant may return a static text instead of filling the buffer.
  const char* text = strerror_r(static_cast<int>(code), buf, sizeof buf);
  return text ? std::string(text) : std::string();
}

bool fileSize(FileHandle file, uint64_t* size) {
  struct stat st{};
  if (fstat(static_cast<int>(file), &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool readFile(FileHandle file, void* buffer, uint32_t max, uint32_t* got) {
  *got = 0;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(file), buffer, max);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  *got = static_cast<uint32_t>(n);
  return true;
}

void closeFile(FileHandle file) {
  if (file != kInvalidFile) ::close(static_cast<int>(file));
}

std::string currentDirectory() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool createDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st{};
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createDirectoryPath(const std::string& path) {
  for (size_t end = path.find('/', 1); end != std::string::npos; end = path.find('/', end + 1)) {
    const std::string above = path.substr(0, end);
    if (!pathExists(above)) ::mkdir(above.c_str(), 0700);
  }
  if (!pathExists(path)) ::mkdir(path.c_str(), 0700);
  return createDirectory(path);
}

std::string fullPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::string();
  const std::string full = resolved;
  std::free(resolved);
  return full;
}

std::string userStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return state;
  const char* home = std::getenv("HOME");
  return home && home[0] ? std::string(home) + "/.local/state" : std::string();
}

bool pathExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

namespace {

bool writeAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

}  // namespace

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool ok = writeAll(fd, static_cast<const char*>(data), size);
  return (::close(fd) == 0) && ok;
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly) {
  const std::string tmp = path + ".tmp";
  ::unlink(tmp.c_str());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

LockResult lockFileExclusive(const std::string& path, FileHandle* held) {
  // Read access is enough for a lock: a lock file left read-only still serves.
  // Non-blocking, so that a pipe of that name cannot hold the open.
  const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(path.c_str(), O_RDONLY | flags);
  if (fd < 0) return LockResult::kFailed;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return LockResult::kFailed;
  }
  // flock, not fcntl: its lock belongs to this open file, so a second open in
  // the same process is refused like another process's.
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return error == EWOULDBLOCK ? LockResult::kBusy : LockResult::kFailed;
  }
  *held = fd;
  return LockResult::kLocked;
}

}  // namespace platform
