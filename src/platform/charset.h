#pragma once
// Conversions between the process's 8-bit "ANSI" code set, UTF-8 and UTF-16LE.
//
// On Windows the ANSI code set is the active code page. On POSIX it is the code
// set of the user's locale; a plain ASCII ("C") locale counts as UTF-8, since file
// names and terminals on such systems are UTF-8 in practice.
#include <string>

namespace platform {

// Each conversion converts the whole input. Characters that cannot be represented
// in the target are replaced ('?' in the ANSI code set, U+FFFD in Unicode forms),
// and *lossy (when given) tells whether that happened. Invalid input sequences are
// replaced the same way and also count as loss.
std::u16string ansiToUtf16(const std::string& ansi, bool* lossy = nullptr);
std::string utf16ToAnsi(const std::u16string& text, bool* lossy = nullptr);
std::u16string utf8ToUtf16(const std::string& utf8, bool* lossy = nullptr);
std::string utf16ToUtf8(const std::u16string& text, bool* lossy = nullptr);

// True when the ANSI code set is UTF-8 itself (conversions are then identities).
bool ansiIsUtf8();

// Tests replace the ANSI code set with a fixed one: on POSIX an iconv name such as
// "CP1252", on Windows a code page number such as "1252". An empty name restores
// the system's own. Not thread-safe: call it before conversions run.
void setAnsiCodeSetForTesting(const std::string& name);

}  // namespace platform
