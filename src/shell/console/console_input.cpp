#include "shell/console/console_input.h"

#include <cstdio>
#include <iostream>

#include "platform/terminal.h"

namespace console {
namespace {

std::string g_putBack;
bool g_hasPutBack = false;

bool takePutBack(std::string& line) {
  if (!g_hasPutBack) return false;
  line = g_putBack;
  g_hasPutBack = false;
  return true;
}

}  // namespace

LineRead readLineFrom(std::istream& in, std::string& line, size_t maxBytes) {
  line.clear();
  std::streambuf* from = in.rdbuf();
  for (;;) {
    const int c = from->sbumpc();
    if (c == std::char_traits<char>::eof() && line.empty()) return LineRead::kEnd;
    if (c == std::char_traits<char>::eof() || c == '\n') break;
    // One byte more than the limit may still be the carriage return before a line end.
    if (line.size() > maxBytes) return LineRead::kTooLong;
    line += char(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.size() > maxBytes ? LineRead::kTooLong : LineRead::kLine;
}

LineRead readInputLine(std::string& line, size_t maxBytes) {
  if (takePutBack(line)) return LineRead::kLine;
  return readLineFrom(std::cin, line, maxBytes);
}

LineRead readSecretLine(std::string& line, size_t maxBytes) {
  if (takePutBack(line)) return LineRead::kLine;
  const bool hidden = platform::hideTyping();
  const LineRead read = readLineFrom(std::cin, line, maxBytes);
  if (hidden) {
    platform::showTyping();
    std::fputs("\n", stderr);  // the typed line end was not echoed
  }
  return read;
}

bool readLine(std::string& line) { return readInputLine(line) == LineRead::kLine; }

void unreadLine(const std::string& line) {
  g_putBack = line;
  g_hasPutBack = true;
}

}  // namespace console
