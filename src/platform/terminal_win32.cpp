#include <windows.h>
#include <shellapi.h>

#include "platform/terminal.h"

namespace platform {
namespace {

volatile LONG g_interrupted = 0;
DWORD g_typing = 0;
bool g_typingHidden = false;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&g_interrupted, 1);
  return TRUE;
}

}  // namespace

void catchInterrupts(bool on) { SetConsoleCtrlHandler(onConsoleEvent, on ? TRUE : FALSE); }
Interrupt interruptRequested() {
  return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0 ? Interrupt::kCtrlC : Interrupt::kNone;
}
void clearInterrupt() { InterlockedExchange(&g_interrupted, 0); }
void ignoreBrokenPipe() {}
// The system gives every console program its standard handles.
bool openStandardStreams() { return true; }

bool isTerminal(Stream stream) {
  const DWORD which = stream == Stream::kIn ? STD_INPUT_HANDLE : stream == Stream::kOut ? STD_OUTPUT_HANDLE
                                                                                       : STD_ERROR_HANDLE;
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool hideTyping() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(in, &g_typing)) return false;
  g_typingHidden = SetConsoleMode(in, g_typing & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
  return g_typingHidden;
}

void showTyping() {
  if (g_typingHidden) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_typing);
  g_typingHidden = false;
}

bool openInBrowser(const std::string& address) {
  const auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
}

}  // namespace platform
