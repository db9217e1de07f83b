#pragma once
// Conversions between an 8-bit "ANSI" code set, UTF-8 and UTF-16LE.
//
// The process's ANSI code set is, on Windows, the active code page; on POSIX
// the code set of the user's locale, where a plain ASCII ("C") locale counts as
// UTF-8, since file names and terminals on such systems are UTF-8 in practice.
// Code reaches it through its Env (env.h), so that a test can hand in another.
#include <cstdint>
#include <string>

namespace platform {

// Each conversion converts the whole input. Characters that cannot be represented
// in the target are replaced ('?' in the ANSI code set, U+FFFD in Unicode forms),
// and *lossy (when given) tells whether that happened. Invalid input sequences are
// replaced the same way and also count as loss.
std::u16string utf8ToUtf16(const std::string& utf8, bool* lossy = nullptr);
std::string utf16ToUtf8(const std::u16string& text, bool* lossy = nullptr);

// An 8-bit code set: a small value, copied freely, the same for every thread.
class CodeSet {
 public:
  // The process's own.
  CodeSet() = default;
  // A Windows code page by its number (1252: Western European), on every
  // system; POSIX converts with iconv's "CPnnnn" (65001 is UTF-8).
  explicit CodeSet(uint32_t windowsCodePage) : codePage_(windowsCodePage) {}

  std::u16string toUtf16(const std::string& ansi, bool* lossy = nullptr) const;
  std::string fromUtf16(const std::u16string& text, bool* lossy = nullptr) const;
  // True when the code set is UTF-8 itself (conversions are then identities).
  bool isUtf8() const;

 private:
  uint32_t codePage_ = 0;  // 0: the process's own
};

}  // namespace platform
