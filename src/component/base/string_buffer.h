#pragma once
// StringBuffer: the component's growable 8-bit text, always zero-terminated.
#include <cstdint>

namespace component {

class StringBuffer {
 public:
  StringBuffer();
  explicit StringBuffer(const char* text);
  StringBuffer(const StringBuffer& other);
  StringBuffer& operator=(const StringBuffer& other);
  ~StringBuffer();

  // Appends a zero-terminated text; null does nothing.
  void append(const char* text);
  // Appends n bytes (any values) followed by a terminator; nothing when n <= 0 or
  // bytes is null.
  void appendBytes(const void* bytes, int n);
  void appendBuffer(const StringBuffer& other);

  const char* getString() const;
  int getSize() const;
  int getCapacity() const;
  int getGrowthIncrement() const;

  // Length 0; the memory is kept.
  void clear();
  // Removes spaces, tabs, line feeds and carriage returns from both ends.
  void trim();
  void removeChar(char c);
  // Cuts the text at the first occurrence of c; without one the text stays.
  void truncateAtChar(char c);
  // Bytes up to 127 by the C rule; bytes from 224 up lowered by 32 (Latin-1
  // small letters to capitals).
  void toUpper();
  bool equals(const char* text) const;
  bool equalsIgnoreCase(const char* text) const;
  bool contains(const char* text) const;
  // Replaces every occurrence, scanning forward past each replacement.
  int replaceAll(const char* pattern, const char* replacement);
  // Treats the text as a path and keeps what follows its last '/' or '\' (the
  // whole text without one). A name longer than 260 bytes is cut to them.
  void keepFileName();

 private:
  void check() const;
  // Makes room for `added` more characters; `terminated` adds one byte for a
  // zero-terminated argument.
  void grow(int added, bool terminated);
  // Appends n bytes that may lie inside this buffer's own text.
  void appendRaw(const char* bytes, int n, bool terminated);

  uint8_t marker_;
  char* text_;
  int32_t capacity_;
  int32_t length_;
  int32_t growIncrement_;
};

}  // namespace component
