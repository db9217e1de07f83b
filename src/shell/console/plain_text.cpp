#include "shell/console/plain_text.h"

#include <cstdint>
#include <cstdio>

namespace console {
namespace {

// Code points that move or break text although they print nothing: C1
// controls, the line and paragraph separators, and the bidirectional marks,
// embeddings, overrides and isolates that reorder what follows them.
bool steersText(uint32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

uint32_t codePoint(const std::string& text, size_t at, size_t length) {
  const auto byte = [&](size_t i) { return uint32_t(uint8_t(text[at + i])); };
  if (length == 2) return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
  if (length == 3) return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
  return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
}

}  // namespace

size_t utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return i < text.size() ? uint8_t(text[i]) : uint8_t(0); };
  const uint8_t c = byte(at);
  const auto continuation = [&](size_t i) { return (byte(i) & 0xC0) == 0x80; };
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return continuation(at + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const uint8_t c1 = byte(at + 1);
    const bool ok = (c == 0xE0 ? c1 >= 0xA0 : true) && (c == 0xED ? c1 < 0xA0 : true);
    return ok && continuation(at + 1) && continuation(at + 2) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const uint8_t c1 = byte(at + 1);
    const bool ok = (c == 0xF0 ? c1 >= 0x90 : true) && (c == 0xF4 ? c1 < 0x90 : true);
    return ok && continuation(at + 1) && continuation(at + 2) && continuation(at + 3) ? 4 : 0;
  }
  return 0;
}

std::string plainText(const std::string& text, bool lineBreaks) {
  std::string out;
  out.reserve(text.size());
  char escape[8];
  for (size_t i = 0; i < text.size();) {
    const uint8_t c = uint8_t(text[i]);
    const size_t length = utf8SequenceLength(text, i);
    if (lineBreaks && (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
      out += '\n';
      i += c == '\r' ? 2 : 1;
    } else if (lineBreaks && c == '\t') {
      out += '\t';
      ++i;
    } else if (length == 0 || (length == 1 && (c < 0x20 || c == 0x7F))) {
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
      ++i;
    } else if (length > 1 && steersText(codePoint(text, i, length))) {
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(codePoint(text, i, length)));
      out += escape;
      i += length;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

}  // namespace console
