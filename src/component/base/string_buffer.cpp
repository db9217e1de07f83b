#include "component/base/string_buffer.h"

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "component/base/validity.h"

namespace component {
namespace {

constexpr int32_t kInitialSize = 202;
constexpr int32_t kMaxIncrement = 500000;
constexpr int kMaxFileName = 260;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

char* allocate(size_t n) {
  char* p = static_cast<char*>(std::malloc(n));
  if (!p) invalidBufferFault("StringBuffer allocation");
  return p;
}

}  // namespace

StringBuffer::StringBuffer()
    : marker_(kStringBufferMarker),
      text_(allocate(kInitialSize)),
      capacity_(kInitialSize),
      length_(0),
      growIncrement_(kInitialSize) {
  text_[0] = '\0';
}

StringBuffer::StringBuffer(const char* text) : StringBuffer() { append(text); }

StringBuffer::StringBuffer(const StringBuffer& other) : StringBuffer() { appendBuffer(other); }

StringBuffer& StringBuffer::operator=(const StringBuffer& other) {
  if (this != &other) {
    other.check();
    clear();
    appendBuffer(other);
  }
  return *this;
}

StringBuffer::~StringBuffer() {
  check();
  std::free(text_);
  text_ = nullptr;
  capacity_ = 0;
  length_ = 0;
  clearMarker(marker_);
}

void StringBuffer::check() const { checkMarker(readMarker(marker_), kStringBufferMarker, "StringBuffer"); }

void StringBuffer::grow(int added, bool terminated) {
  if (int64_t(length_) + added < capacity_) return;
  const int64_t want = int64_t(length_) + added + growIncrement_ + (terminated ? 1 : 0);
  if (want > INT32_MAX) invalidBufferFault("StringBuffer size");
  char* fresh = allocate(size_t(want));
  std::memcpy(fresh, text_, size_t(length_) + 1);
  std::free(text_);
  text_ = fresh;
  capacity_ = int32_t(want);
  if (growIncrement_ < capacity_ && growIncrement_ < kMaxIncrement) {
    growIncrement_ = capacity_ / 2 < kMaxIncrement ? capacity_ / 2 : kMaxIncrement;
  }
}

void StringBuffer::appendRaw(const char* bytes, int n, bool terminated) {
  // Bytes taken from this very text must be found again after the growth has
  // freed the old array.
  const std::less<const char*> before;
  const bool inside = !before(bytes, text_) && before(bytes, text_ + capacity_);
  const ptrdiff_t offset = inside ? bytes - text_ : 0;
  grow(n, terminated);
  if (inside) bytes = text_ + offset;
  std::memmove(text_ + length_, bytes, size_t(n));
  length_ += n;
  text_[length_] = '\0';
}

void StringBuffer::append(const char* text) {
  check();
  if (!text) return;
  const size_t n = std::strlen(text);
  if (n > size_t(INT32_MAX)) invalidBufferFault("StringBuffer size");
  appendRaw(text, int(n), true);
}

void StringBuffer::appendBytes(const void* bytes, int n) {
  check();
  if (!bytes || n <= 0) return;
  appendRaw(static_cast<const char*>(bytes), n, false);
}

void StringBuffer::appendBuffer(const StringBuffer& other) {
  check();
  other.check();
  if (other.length_ > 0) appendRaw(other.text_, other.length_, false);
}

const char* StringBuffer::getString() const {
  check();
  return text_;
}

int StringBuffer::getSize() const {
  check();
  return length_;
}

int StringBuffer::getCapacity() const {
  check();
  return capacity_;
}

int StringBuffer::getGrowthIncrement() const {
  check();
  return growIncrement_;
}

void StringBuffer::clear() {
  check();
  length_ = 0;
  text_[0] = '\0';
}

void StringBuffer::trim() {
  check();
  int start = 0;
  while (start < length_ && isBlank(text_[start])) ++start;
  int end = length_;
  while (end > start && isBlank(text_[end - 1])) --end;
  if (start > 0) std::memmove(text_, text_ + start, size_t(end - start));
  length_ = end - start;
  text_[length_] = '\0';
}

void StringBuffer::removeChar(char c) {
  check();
  int out = 0;
  for (int i = 0; i < length_; ++i)
    if (text_[i] != c) text_[out++] = text_[i];
  length_ = out;
  text_[length_] = '\0';
}

void StringBuffer::truncateAtChar(char c) {
  check();
  for (int i = 0; i < length_; ++i) {
    if (text_[i] == c) {
      length_ = i;
      text_[i] = '\0';
      return;
    }
  }
}

void StringBuffer::toUpper() {
  check();
  for (int i = 0; i < length_; ++i) {
    const unsigned char b = static_cast<unsigned char>(text_[i]);
    if (b <= 127) text_[i] = char(std::toupper(b));
    else if (b >= 224) text_[i] = char(b - 32);
  }
}

bool StringBuffer::equals(const char* text) const {
  check();
  return text && std::strcmp(text_, text) == 0;
}

bool StringBuffer::equalsIgnoreCase(const char* text) const {
  check();
  if (!text) return false;
  const char* a = text_;
  const char* b = text;
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool StringBuffer::contains(const char* text) const {
  check();
  return text && std::strstr(text_, text) != nullptr;
}

int StringBuffer::replaceAll(const char* pattern, const char* replacement) {
  check();
  if (!pattern || !*pattern) return 0;
  const size_t patLen = std::strlen(pattern);
  StringBuffer result;
  int count = 0;
  const char* p = text_;
  while (const char* at = std::strstr(p, pattern)) {
    result.appendBytes(p, int(at - p));
    result.append(replacement);
    p = at + patLen;
    ++count;
  }
  if (count == 0) return 0;
  result.append(p);
  clear();
  appendBuffer(result);
  return count;
}

void StringBuffer::keepFileName() {
  check();
  int lastSep = -1;
  for (int i = 0; i < length_; ++i) {
    if (text_[i] == '/' || text_[i] == '\\') lastSep = i;
  }
  int keep = length_ - lastSep - 1;
  if (keep > kMaxFileName) {
    // The texts here are UTF-8: the cut falls before a character, never inside one.
    keep = kMaxFileName;
    while (keep > 0 && (static_cast<unsigned char>(text_[lastSep + 1 + keep]) & 0xC0) == 0x80) --keep;
  }
  std::memmove(text_, text_ + lastSep + 1, size_t(keep));
  length_ = keep;
  text_[length_] = '\0';
}

}  // namespace component
