// Windows Sockets start-up, once per process, with a fall-back through older
// versions for stacks that refuse the version asked for first.
#include <cstdio>

#include "component/net/tcp_socket.h"

namespace component {
namespace {

// Cleared by the first attempt, whatever its outcome: a failed start-up is not
// retried, and sockets then fail on their own.
bool g_startupPending = true;

// Major version in the low byte, minor in the high byte.
uint16_t versionWord(int major, int minor) { return static_cast<uint16_t>(major | (minor << 8)); }

const char* startupErrorText(int code) {
  switch (code) {
    case platform::kWsaSysnotready:
      return "The underlying network subsystem is not ready for network communication.";
    case platform::kWsaVernotsupported:
      return "The version of Windows Sockets support requested is not provided by this particular Windows "
             "Sockets implementation.";
    case platform::kWsaEinprogress:
      return "A blocking Windows Sockets 1.1 operation is in progress.";
    case platform::kWsaEproclim:
      return "Limit on the number of tasks supported by the Windows Sockets implementation has been reached.";
    case platform::kWsaEfault:
      return "The lpWSAData is not a valid pointer.";
    default:
      return nullptr;
  }
}

}  // namespace

bool startSockets(platform::Env& env, DiagnosticLog& log) {
  if (!g_startupPending) return true;
  uint16_t granted = 0;
  // 9.9, more than any stack has: one that takes it grants the best it has.
  int result = env.startupSockets(versionWord(9, 9), &granted);
  if (result == platform::kWsaVernotsupported) {
    int major = 5;
    int minor = 2;
    for (;;) {
      if (--minor < 0) {
        minor = 9;
        --major;
      }
      if (major == 0) break;
      result = env.startupSockets(versionWord(major, minor), &granted);
      if (result != platform::kWsaVernotsupported) break;
    }
    if (result == 0) {
      char text[64];
      std::snprintf(text, sizeof text, "Using ws2_32.dll version %d,%d", major, minor);
      log.logData("ws2_32_DLL_Version", text);
    }
  }
  if (result != 0) {
    if (const char* text = startupErrorText(result)) {
      log.logError(text);
    } else {
      char unknown[64];
      std::snprintf(unknown, sizeof unknown, "WSAStartup error: 0x%x", static_cast<unsigned>(result));
      log.logError(unknown);
    }
  }
  g_startupPending = false;
  return result == 0;
}

}  // namespace component
