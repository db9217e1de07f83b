#pragma once
// The text of an HTTP/1.x reply, read by one set of rules wherever the client
// reads a reply (the service's fetch, the upload's reply reader, a proxy's
// answer to CONNECT): the status line, the header lines, and the chunk-size
// lines of a chunked body. Pure: it reads the text it is given and nothing else,
// with no I/O and no log. A line is given without its line end ("\n", and a
// "\r" before it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace protocol {

// How strictly the numbers of a reply are read: the one rule on which its
// readers differ.
enum class Reading {
  // As HTTP/1.1 writes them, and nothing else: for the service's fetch and a
  // proxy's answer, which follow the reply's framing and give up on a reply
  // that does not keep to it.
  kStrict,
  // As the upload has always read its reply, in the manner of scanf's "%d" and
  // "%x": white space before the number skipped, a sign (or "0x" before a chunk
  // size) taken, and whatever follows the digits ignored.
  kLenient,
};

// What every status line starts with, read strictly.
constexpr std::string_view kStatusLineStart = "HTTP/";
// Whether `start`, the first bytes of a reply, can begin a status line: as far
// as they go, they agree with kStatusLineStart.
bool startsLikeStatusLine(std::string_view start);

// The status code of a status line ("HTTP/1.1 200 OK"), or 0 when the line is
// none. kStrict: kStatusLineStart, the version, a blank, three digits from 100
// to 999, then the line's end or a blank before the reason phrase. kLenient:
// "HTTP" at its start, and after its first blank a decimal number, clamped to
// 32 bits.
int32_t statusCode(std::string_view line, Reading reading);

// A decimal number: kStrict its digits alone, which must fit 63 bits; kLenient
// as above, clamped to 64 bits. False when there is none.
bool parseDecimal(std::string_view text, Reading reading, int64_t* value);

// A header line "Name: value": the name and the value without the blanks, tabs
// and line ends around them. False for a line without a colon.
bool parseHeaderLine(std::string_view line, std::string_view* name, std::string_view* value);
// Whether a header line continues the value of the field before it: it starts
// with a blank or a tab.
bool continuesField(std::string_view line);
// Field names compare without regard to letter case.
bool sameName(std::string_view a, std::string_view b);

// The fields of a header text, in order, up to its empty line. A line that
// continues a field joins its value with one blank; a line without a colon is
// passed over. Lines end at "\n", with or without a "\r" before it.
using HeaderFields = std::vector<std::pair<std::string, std::string>>;
HeaderFields parseHeaderFields(std::string_view text);
// The value of the first field named `name`; null when there is none.
const std::string* findField(const HeaderFields& fields, std::string_view name);

// Where a header text ends: just after its empty line, which ends with "\r\n"
// or a bare "\n"; npos while it has not come.
size_t headerEnd(std::string_view text);

// What a chunk-size line holds.
enum class ChunkSize {
  kSize,           // a size, in *size
  kNone,           // no size at its start (kStrict: nor anything after its
                   // digits but blanks and ";" extensions)
  kSign,           // a sign before the digits
  kTooManyDigits,  // more than 16 hexadecimal digits: no chunk is that long,
                   // and no such number fits 64 bits
};
ChunkSize parseChunkSize(std::string_view line, Reading reading, uint64_t* size);

}  // namespace protocol
