#pragma once
// Standard input, a line at a time, for everything of the console that reads it
// (the session's commands, answers to questions, passwords, file lists). One
// line can be put back: a question that finds a command where its answer should
// be leaves that line for the session. Every line has a longest length, so that
// an input without line ends (</dev/zero) cannot fill the memory.
#include <cstddef>
#include <istream>
#include <string>

namespace console {

// The longest line of a command or an answer.
constexpr size_t kLongestInputLine = 1 << 20;

enum class LineRead { kLine, kEnd, kTooLong };

// The next line of `in` without its line end (and a carriage return before
// it). kTooLong as soon as more than `maxBytes` bytes came without a line end;
// the rest of that line stays unread. kEnd at the end of input.
LineRead readLineFrom(std::istream& in, std::string& line, size_t maxBytes);

// The next line of standard input, or the line put back.
LineRead readInputLine(std::string& line, size_t maxBytes = kLongestInputLine);
// The same with echo off when standard input is a terminal.
LineRead readSecretLine(std::string& line, size_t maxBytes);
// readInputLine's line; false at the end of input and for a line too long.
bool readLine(std::string& line);
// The next read answers `line` again.
void unreadLine(const std::string& line);

}  // namespace console
