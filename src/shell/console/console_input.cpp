#include "shell/console/console_input.h"

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

bool readLine(std::string& line) {
  if (takePutBack(line)) return true;
  if (!std::getline(std::cin, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool readSecretLine(std::string& line) { return takePutBack(line) || platform::readSecretLine(line); }

void unreadLine(const std::string& line) {
  g_putBack = line;
  g_hasPutBack = true;
}

}  // namespace console
