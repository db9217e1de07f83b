#include "protocol/reply_text.h"

#include <algorithm>
#include <cctype>

namespace protocol {
namespace {

constexpr size_t kMaxChunkSizeDigits = 16;

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// What a name or value is trimmed of: blanks, tabs and line ends.
bool isPadding(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isPadding(text.front())) text.remove_prefix(1);
  while (!text.empty() && isPadding(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool parseDecimal(std::string_view text, Reading reading, int64_t* value) {
  size_t i = 0;
  bool negative = false;
  if (reading == Reading::kLenient) {
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  }
  if (i == text.size() || !isDigit(text[i])) return false;
  int64_t v = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (v > (INT64_MAX - digit) / 10) {
      if (reading == Reading::kStrict) return false;
      v = INT64_MAX;  // clamped, not wrapped
      continue;
    }
    v = v * 10 + digit;
  }
  if (reading == Reading::kStrict && i != text.size()) return false;
  *value = negative ? -v : v;
  return true;
}

bool startsLikeStatusLine(std::string_view start) {
  const size_t n = std::min(start.size(), kStatusLineStart.size());
  return start.substr(0, n) == kStatusLineStart.substr(0, n);
}

int32_t statusCode(std::string_view line, Reading reading) {
  const size_t blank = line.find(' ');
  int64_t code = 0;
  if (reading == Reading::kLenient) {
    if (line.substr(0, 4) != "HTTP" || blank == std::string_view::npos) return 0;
    if (!parseDecimal(line.substr(blank + 1), reading, &code)) return 0;
    return int32_t(code < INT32_MIN ? INT32_MIN : code > INT32_MAX ? INT32_MAX : code);
  }
  if (line.substr(0, kStatusLineStart.size()) != kStatusLineStart || blank == std::string_view::npos) return 0;
  if (line.size() < blank + 4 || (line.size() > blank + 4 && line[blank + 4] != ' ')) return 0;
  if (!parseDecimal(line.substr(blank + 1, 3), reading, &code) || code < 100) return 0;
  return int32_t(code);
}

bool parseHeaderLine(std::string_view line, std::string_view* name, std::string_view* value) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  *name = trimmed(line.substr(0, colon));
  *value = trimmed(line.substr(colon + 1));
  return true;
}

bool continuesField(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

HeaderFields parseHeaderFields(std::string_view text) {
  HeaderFields fields;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the empty line ends the header
    std::string_view name, value;
    if (continuesField(line)) {
      const std::string_view more = trimmed(line);
      if (fields.empty() || more.empty()) continue;
      std::string& joined = fields.back().second;
      if (!joined.empty()) joined += ' ';
      joined += more;
    } else if (parseHeaderLine(line, &name, &value)) {
      fields.emplace_back(name, value);
    }
  }
  return fields;
}

const std::string* findField(const HeaderFields& fields, std::string_view name) {
  for (const auto& field : fields) {
    if (sameName(field.first, name)) return &field.second;
  }
  return nullptr;
}

size_t headerEnd(std::string_view text) {
  for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    const size_t next = at + 1;
    if (next < text.size() && text[next] == '\n') return next + 1;
    if (next + 1 < text.size() && text[next] == '\r' && text[next + 1] == '\n') return next + 2;
  }
  return std::string_view::npos;
}

ChunkSize parseChunkSize(std::string_view line, Reading reading, uint64_t* size) {
  const bool lenient = reading == Reading::kLenient;
  size_t i = 0;
  while (lenient && i < line.size() && isSpace(line[i])) ++i;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) return ChunkSize::kSign;
  if (lenient && i + 2 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X') &&
      hexValue(line[i + 2]) >= 0) {
    i += 2;
  }
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < line.size() && hexValue(line[i]) >= 0; ++i) {
    if (++digits > kMaxChunkSizeDigits) return ChunkSize::kTooManyDigits;
    value = (value << 4) | uint64_t(hexValue(line[i]));
  }
  if (digits == 0) return ChunkSize::kNone;
  const std::string_view rest = trimmed(line.substr(i));
  if (!lenient && !rest.empty() && rest[0] != ';') return ChunkSize::kNone;
  *size = value;
  return ChunkSize::kSize;
}

}  // namespace protocol
