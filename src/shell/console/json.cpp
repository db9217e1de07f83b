#include "shell/console/json.h"

#include <cstdint>
#include <cstdio>

namespace console {
namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when the byte there
// does not start one: overlong forms, surrogates and values past U+10FFFF are
// not valid.
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

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text, i, length);
      i += length;
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace console
