#include <windows.h>

#include <string>

#include "platform/files.h"

namespace platform {

char pathSeparator() { return '\\'; }

namespace {

// A folder cannot be opened this way; a device or a pipe can, and is refused:
// it has no size, and a read could wait for ever.
FileHandle regularFileOnly(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return kInvalidFile;
  }
  return reinterpret_cast<FileHandle>(h);
}

}  // namespace

FileHandle openForReadAnsi(const std::string& path) {
  return regularFileOnly(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle openForReadWide(const std::u16string& path) {
  return regularFileOnly(CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool hasWideFileApi() {
  // The high bit of GetVersion is set on the 95/98/Me family only.
  return (GetVersion() & 0x80000000u) == 0;
}

uint32_t lastOsError() { return static_cast<uint32_t>(GetLastError()); }
void setLastOsError(uint32_t code) { SetLastError(code); }
bool isSharingViolation(uint32_t code) { return code == ERROR_SHARING_VIOLATION; }

std::string osErrorText(uint32_t code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  // The system's texts end with a line break, which no caller wants.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

bool fileSize(FileHandle file, uint64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(reinterpret_cast<HANDLE>(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (uint64_t(high) << 32) | low;
  return true;
}

bool readFile(FileHandle file, void* buffer, uint32_t max, uint32_t* got) {
  DWORD n = 0;
  const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(file), buffer, max, &n, nullptr);
  *got = ok ? n : 0;
  return ok != FALSE;
}

void closeFile(FileHandle file) {
  if (file != kInvalidFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

std::string currentDirectory() {
  char buf[MAX_PATH + 1];
  const DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool createDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool createDirectoryPath(const std::string& path) {
  // A drive ("C:") or a share's server among the parts fails harmlessly.
  for (size_t end = path.find_first_of("\\/", 1); end != std::string::npos; end = path.find_first_of("\\/", end + 1)) {
    const std::string above = path.substr(0, end);
    if (!pathExists(above)) CreateDirectoryA(above.c_str(), nullptr);
  }
  return createDirectory(path);
}

std::string fullPath(const std::string& path) {
  char buf[MAX_PATH + 1];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  return n > 0 && n < sizeof buf && pathExists(buf) ? std::string(buf, n) : std::string();
}

std::string userStateFolder() {
  char buf[MAX_PATH + 1];
  const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

namespace {

bool writeTo(const std::string& path, const void* data, size_t size, bool flush) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (ok && size > 0) {
    DWORD w = 0;
    const DWORD piece = size > 0x10000000u ? 0x10000000u : DWORD(size);
    ok = WriteFile(h, p, piece, &w, nullptr) && w == piece;
    p += w;
    size -= w;
  }
  if (ok && flush) ok = FlushFileBuffers(h) != FALSE;
  return CloseHandle(h) && ok;
}

}  // namespace

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
  return writeTo(path, data, size, false);
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes, bool) {
  const std::string tmp = path + ".tmp";
  if (!writeTo(tmp, bytes.data(), bytes.size(), true)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
  if (!MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
  return true;
}

LockResult lockFileExclusive(const std::string& path, FileHandle* held) {
  // Others may open the file, just not lock it; read access is enough for a
  // lock, so a lock file left read-only still serves. The handle is not
  // inheritable, so no child process keeps the lock.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  const FileHandle file = regularFileOnly(h);
  if (file == kInvalidFile) return LockResult::kFailed;
  OVERLAPPED at{};
  if (!LockFileEx(reinterpret_cast<HANDLE>(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &at)) {
    const DWORD error = GetLastError();
    CloseHandle(reinterpret_cast<HANDLE>(file));
    SetLastError(error);
    return error == ERROR_LOCK_VIOLATION ? LockResult::kBusy : LockResult::kFailed;
  }
  *held = file;
  return LockResult::kLocked;
}

}  // namespace platform
