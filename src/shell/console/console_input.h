#pragma once
// Standard input, a line at a time, for everything of the console that reads it
// (the session's commands, answers to questions, passwords, file lists). One
// line can be put back: a question that finds a command where its answer should
// be leaves that line for the session.
#include <string>

namespace console {

// The next line without its line end (and a carriage return before it); false
// at the end of input.
bool readLine(std::string& line);
// The same with echo off when standard input is a terminal.
bool readSecretLine(std::string& line);
// The next read answers `line` again.
void unreadLine(const std::string& line);

}  // namespace console
