#pragma once
// EncodedString: one text held in up to three forms (an ANSI code set, UTF-8,
// UTF-16LE) and converted between them on demand. At least one form is valid at
// any time, and every valid form holds the same text. The code set is the one
// it was made with (its copies keep it): the process's own unless given.
#include <cstddef>
#include <cstdint>

#include "component/base/data_buffer.h"
#include "component/base/string_buffer.h"
#include "platform/charset.h"

namespace component {

class EncodedString {
 public:
  explicit EncodedString(platform::CodeSet codeSet = platform::CodeSet());
  EncodedString(const EncodedString& other);
  EncodedString& operator=(const EncodedString& other);

  // setUtf8 when `utf8` is set, else setAnsi.
  void setText(const char* text, bool utf8);
  // Each makes its form the only valid one; null or empty clears the value.
  void setAnsi(const char* text);
  void setUtf8(const char* text);
  // Raw bytes of either 8-bit form (they may hold zero bytes only at the end).
  void setAnsiBytes(const void* bytes, int n);

  const char* getAnsi();
  const char* getUtf8();
  const char16_t* getUtf16();

  // Makes the ANSI form current, invalidates the other two, then appends.
  void appendAnsi(const char* text);

  // Characters: the ANSI length when that form is valid, else UTF-16 units.
  int charCount();
  // Whether the text converts to the ANSI code set without loss (cached).
  bool fitsAnsi();
  void clear();

 private:
  enum AnsiFitness : int32_t { kUnknown = 0, kFits = 1, kLossy = 2 };

  void makeAnsiValid();
  void makeUtf8Valid();
  void makeUtf16Valid();
  void setUtf16FromUnits(const char16_t* units, size_t n);

  platform::CodeSet codeSet_;
  int32_t ansiFitness_;
  bool utf16Valid_;
  bool ansiValid_;
  bool utf8Valid_;
  DataBuffer utf16_;
  StringBuffer ansi_;
  StringBuffer utf8_;
};

}  // namespace component
