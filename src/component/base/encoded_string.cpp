#include "component/base/encoded_string.h"

#include <cstring>
#include <string>


namespace component {
namespace {

std::u16string unitsOf(DataBuffer& b) {
  // The UTF-16 form holds the text and a two-byte terminator.
  const uint32_t n = b.getSize() >= 2 ? (b.getSize() - 2) / 2 : 0;
  std::u16string s(n, u'\0');
  if (n) std::memcpy(&s[0], b.getData(), n * 2);
  return s;
}

}  // namespace

EncodedString::EncodedString(platform::CodeSet codeSet)
    : codeSet_(codeSet),
      ansiFitness_(kUnknown), utf16Valid_(true), ansiValid_(true), utf8Valid_(true) {
  utf16_.appendChar(0);
  utf16_.appendChar(0);
}

EncodedString::EncodedString(const EncodedString& other) : EncodedString() { *this = other; }

EncodedString& EncodedString::operator=(const EncodedString& other) {
  if (this == &other) return *this;
  codeSet_ = other.codeSet_;
  ansiFitness_ = other.ansiFitness_;
  utf16Valid_ = other.utf16Valid_;
  ansiValid_ = other.ansiValid_;
  utf8Valid_ = other.utf8Valid_;
  utf16_.clear();
  utf16_.appendBuffer(other.utf16_);
  ansi_ = other.ansi_;
  utf8_ = other.utf8_;
  return *this;
}

void EncodedString::clear() {
  ansiFitness_ = kUnknown;
  utf16_.clear();
  utf16_.appendChar(0);
  utf16_.appendChar(0);
  ansi_.clear();
  utf8_.clear();
  utf16Valid_ = ansiValid_ = utf8Valid_ = true;
}

void EncodedString::setText(const char* text, bool utf8) {
  if (utf8) setUtf8(text);
  else setAnsi(text);
}

void EncodedString::setAnsi(const char* text) {
  clear();
  if (!text || !*text) return;
  ansi_.append(text);
  ansiValid_ = true;
  utf8Valid_ = utf16Valid_ = false;
  ansiFitness_ = kFits;
}

void EncodedString::setAnsiBytes(const void* bytes, int n) {
  clear();
  if (!bytes || n <= 0) return;
  ansi_.appendBytes(bytes, n);
  ansiValid_ = true;
  utf8Valid_ = utf16Valid_ = false;
  ansiFitness_ = kFits;
}

void EncodedString::setUtf8(const char* text) {
  clear();
  if (!text || !*text) return;
  utf8_.append(text);
  utf8Valid_ = true;
  ansiValid_ = utf16Valid_ = false;
}

void EncodedString::setUtf16FromUnits(const char16_t* units, size_t n) {
  utf16_.clear();
  utf16_.append(units, uint32_t(n * 2));
  utf16_.appendChar(0);
  utf16_.appendChar(0);
  utf16Valid_ = true;
}

void EncodedString::makeAnsiValid() {
  if (ansiValid_) return;
  ansi_.clear();
  if (utf8Valid_) {
    const std::string a = codeSet_.fromUtf16(platform::utf8ToUtf16(utf8_.getString()));
    ansi_.appendBytes(a.data(), int(a.size()));
  } else if (utf16Valid_ && utf16_.getSize() > 3) {
    const std::string a = codeSet_.fromUtf16(unitsOf(utf16_));
    ansi_.appendBytes(a.data(), int(a.size()));
  }
  ansiValid_ = true;
}

void EncodedString::makeUtf8Valid() {
  if (utf8Valid_) return;
  utf8_.clear();
  // UTF-16 first: next to it the ANSI form may be a lossy rendering (made by
  // getAnsi or fitsAnsi for a text the code set cannot hold), and converting
  // from that would lose the characters for good. When both are exact they
  // give the same text.
  if (utf16Valid_) {
    if (utf16_.getSize() > 3) {
      const std::string u = platform::utf16ToUtf8(unitsOf(utf16_));
      utf8_.appendBytes(u.data(), int(u.size()));
    }
  } else if (ansiValid_) {
    const std::string u = platform::utf16ToUtf8(codeSet_.toUtf16(ansi_.getString()));
    utf8_.appendBytes(u.data(), int(u.size()));
  }
  utf8Valid_ = true;
}

void EncodedString::makeUtf16Valid() {
  if (utf16Valid_) return;
  std::u16string w;
  if (utf8Valid_) w = platform::utf8ToUtf16(utf8_.getString());
  else if (ansiValid_) w = codeSet_.toUtf16(ansi_.getString());
  setUtf16FromUnits(w.data(), w.size());
}

const char* EncodedString::getAnsi() {
  makeAnsiValid();
  return ansi_.getString();
}

const char* EncodedString::getUtf8() {
  makeUtf8Valid();
  return utf8_.getString();
}

const char16_t* EncodedString::getUtf16() {
  makeUtf16Valid();
  return reinterpret_cast<const char16_t*>(utf16_.getData());
}

void EncodedString::appendAnsi(const char* text) {
  makeAnsiValid();
  utf8Valid_ = utf16Valid_ = false;
  ansiFitness_ = kFits;
  ansi_.append(text);
}

int EncodedString::charCount() {
  if (ansiValid_) return ansi_.getSize();
  makeUtf16Valid();
  return int((utf16_.getSize() - 2) / 2);
}

bool EncodedString::fitsAnsi() {
  if (ansiFitness_ != kUnknown) return ansiFitness_ == kFits;
  bool lossy = false;
  std::string a;
  if (utf16Valid_) a = codeSet_.fromUtf16(unitsOf(utf16_), &lossy);
  else if (utf8Valid_) a = codeSet_.fromUtf16(platform::utf8ToUtf16(utf8_.getString()), &lossy);
  else return true;  // only the ANSI form is valid: it fits by definition
  ansi_.clear();
  ansi_.appendBytes(a.data(), int(a.size()));
  ansiValid_ = true;
  ansiFitness_ = lossy ? kLossy : kFits;
  return !lossy;
}

}  // namespace component
