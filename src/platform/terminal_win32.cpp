#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

#include "platform/terminal.h"

namespace platform {
namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&g_interrupted, 1);
  return TRUE;
}

}  // namespace

void catchInterrupts(bool on) { SetConsoleCtrlHandler(onConsoleEvent, on ? TRUE : FALSE); }
bool interruptRequested() { return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0; }
void clearInterrupt() { InterlockedExchange(&g_interrupted, 0); }
void ignoreBrokenPipe() {}

bool isTerminal(Stream stream) {
  const DWORD which = stream == Stream::kIn ? STD_INPUT_HANDLE : stream == Stream::kOut ? STD_OUTPUT_HANDLE
                                                                                       : STD_ERROR_HANDLE;
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool readSecretLine(std::string& line) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  const bool console = GetConsoleMode(in, &saved) != 0;
  if (console) SetConsoleMode(in, saved & ~DWORD(ENABLE_ECHO_INPUT));
  const bool ok = static_cast<bool>(std::getline(std::cin, line));
  if (console) {
    SetConsoleMode(in, saved);
    std::fputs("\n", stderr);
  }
  if (ok && !line.empty() && line.back() == '\r') line.pop_back();
  return ok;
}

bool openInBrowser(const std::string& address) {
  const auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
}

}  // namespace platform
