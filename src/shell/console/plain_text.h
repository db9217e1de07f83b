#pragma once
// What the console's plain-text output may carry. Album names, addresses and
// file names come from the service or the file system and may hold anything:
// an escape sequence would drive the terminal, and a line break would let a
// name forge a line of its own ("flingpost: other.jpg: ..."). Such characters
// are shown as escapes instead. (--json output has its own escaping.)
#include <cstddef>
#include <string>

namespace console {

// The length of the valid UTF-8 sequence at text[at], or 0 when the byte there
// does not start one: overlong forms, surrogates and values past U+10FFFF are
// not valid.
size_t utf8SequenceLength(const std::string& text, size_t at);

// `text` with every character that could steer a terminal or break a line
// written as an escape: bytes that are not valid UTF-8, C0 controls and DEL as
// \xNN, C1 controls, the line and paragraph separators and the bidirectional
// overrides as \uNNNN. With `lineBreaks` a "\r\n" or "\n" of the program's own
// texts stays a line break (as "\n") and a tab stays; without, they are
// escaped too and the text stays on one line. Ordinary text, UTF-8 included,
// is unchanged.
std::string plainText(const std::string& text, bool lineBreaks = false);

}  // namespace console
