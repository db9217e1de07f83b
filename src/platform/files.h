#pragma once
// File access for the client and the component. Paths are 8-bit text in the
// ANSI code set unless a function says otherwise.
#include <cstdint>
#include <string>

namespace platform {

// An open file: a HANDLE on Windows, a descriptor on POSIX.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

// The separator between folder and file names ('\' on Windows, '/' elsewhere).
char pathSeparator();

// Opens an existing regular file for reading, letting others read and write it
// meanwhile. A folder, a pipe or a device is refused without waiting on it.
// Returns kInvalidFile on failure; lastOsError() then tells why. No retry here.
FileHandle openForReadAnsi(const std::string& path);
// The same with a UTF-16 path (Windows' wide functions; UTF-8 bytes on POSIX).
FileHandle openForReadWide(const std::u16string& path);

// False only on the Windows family without wide file functions (95, 98, Me).
bool hasWideFileApi();

// The calling thread's last error code (GetLastError, or errno), and its text
// (one line, without a line break at its end).
uint32_t lastOsError();
void setLastOsError(uint32_t code);
bool isSharingViolation(uint32_t code);
std::string osErrorText(uint32_t code);

// The whole 64-bit size of an open file.
bool fileSize(FileHandle file, uint64_t* size);
// Reads up to `max` bytes; *got is 0 at the end of the file. False on an error.
bool readFile(FileHandle file, void* buffer, uint32_t max, uint32_t* got);
void closeFile(FileHandle file);

// Reads the whole regular file `path` into *bytes. False when it cannot be opened
// (see openForReadAnsi), a read fails, or it holds more than `maxBytes` bytes;
// *tooLarge (when given) tells the last case from the others.
bool readWholeFile(const std::string& path, size_t maxBytes, std::string* bytes, bool* tooLarge = nullptr);

// The process's current directory, or an empty text when it cannot be read.
std::string currentDirectory();
// True when the folder was created or exists already.
bool createDirectory(const std::string& path);
// The same for `path` and every missing folder above it; the folders made
// here are open to their owner alone (POSIX mode 0700), as they may come to
// hold a saved sign-in.
bool createDirectoryPath(const std::string& path);
// `path` made absolute, with symbolic links resolved where the system has
// them; empty when it does not exist.
std::string fullPath(const std::string& path);
// The folder under which the user's programs keep what they need from one
// run to the next: on POSIX $XDG_STATE_HOME when that is an absolute path,
// else $HOME/.local/state; on Windows %LOCALAPPDATA%. Empty when the
// environment names none.
std::string userStateFolder();
bool pathExists(const std::string& path);

// Writes `size` bytes as the whole new content of `path` (created or truncated).
// True only when every byte was written and the file closed cleanly.
bool writeWholeFile(const std::string& path, const void* data, size_t size);

// Writes `bytes` to a temporary file beside `path`, flushes it, and renames it
// over `path`, so `path` always holds either the old or the complete new content.
// With `ownerOnly` the file is created readable and writable by its owner alone
// (POSIX mode 0600; on Windows the folder's permissions apply).
bool replaceFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly);

// Opens `path` (created when missing) and takes an exclusive lock on it without
// waiting. The lock lasts until closeFile(*held), and the system releases it
// when the process ends in any way; a child process never inherits it.
// kBusy: another holder has it. kFailed: the file cannot be opened or locked,
// or is not a regular file; lastOsError() tells why.
enum class LockResult { kLocked, kBusy, kFailed };
LockResult lockFileExclusive(const std::string& path, FileHandle* held);

}  // namespace platform
