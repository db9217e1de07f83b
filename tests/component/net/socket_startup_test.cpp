// Windows Sockets start-up: the version fall-back and the error texts, through
// a replaced start-up call.
#include <gtest/gtest.h>

#include <vector>

#include "component/net/net_test_util.h"
#include "component/net/tcp_socket.h"
#include "support/loopback_peer.h"

namespace {

using component::RecordingLog;
using nettest::textOf;

uint16_t word(int major, int minor) { return uint16_t(major | (minor << 8)); }

// Replaces the start-up call for one test and makes start-up pending again.
class StartupScript {
 public:
  // The call answers `refused` for versions above major.minor `highest`, else
  // `result`.
  StartupScript(uint16_t highest, int result) {
    highest_ = highest;
    result_ = result;
    asked_.clear();
    component::resetSocketStartupForTesting();
    platform::setSocketStartupForTesting(&startup);
  }
  ~StartupScript() {
    platform::setSocketStartupForTesting(nullptr);
    // Later tests need the real library started (it matters on Windows).
    testsupport::ensureSocketsStarted();
  }
  static const std::vector<uint16_t>& asked() { return asked_; }

 private:
  static int startup(uint16_t version, uint16_t* granted) {
    asked_.push_back(version);
    const int major = version & 0xFF;
    const int minor = version >> 8;
    const int highMajor = highest_ & 0xFF;
    const int highMinor = highest_ >> 8;
    if (major > highMajor || (major == highMajor && minor > highMinor)) return platform::kWsaVernotsupported;
    if (result_ == 0 && granted) *granted = version;
    return result_;
  }
  static inline uint16_t highest_ = 0;
  static inline int result_ = 0;
  static inline std::vector<uint16_t> asked_;
};

TEST(SocketStartup, RefusedVersionFallsBackDownTheLadderToOneZero) {
  std::vector<uint16_t> ladder{0x0909, word(5, 1), word(5, 0)};
  for (int major = 4; major >= 1; --major) {
    for (int minor = 9; minor >= 0; --minor) ladder.push_back(word(major, minor));
  }
  {
    StartupScript script(word(2, 2), 0);
    RecordingLog log;
    EXPECT_TRUE(component::startSockets(log));
    EXPECT_EQ(StartupScript::asked(), std::vector<uint16_t>(ladder.begin(), ladder.end() - 12));
    EXPECT_EQ(StartupScript::asked().back(), word(2, 2));
    EXPECT_EQ(textOf(log), "QuillonLog:\r\n  ws2_32_DLL_Version: Using ws2_32.dll version 2,2\r\n");
  }
  StartupScript script(word(0, 0), 0);
  RecordingLog log;
  EXPECT_FALSE(component::startSockets(log));
  EXPECT_EQ(StartupScript::asked().size(), 43u);
  EXPECT_EQ(StartupScript::asked(), ladder);
  EXPECT_EQ(textOf(log),
            "QuillonLog:\r\n  The version of Windows Sockets support requested is not provided by this particular "
            "Windows Sockets implementation.\r\n");
}

TEST(SocketStartup, FirstAnswerOtherThanVersionRefusedEndsItWithItsText) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, nullptr},
      {10091, "The underlying network subsystem is not ready for network communication."},
      {10036, "A blocking Windows Sockets 1.1 operation is in progress."},
      {10067, "Limit on the number of tasks supported by the Windows Sockets implementation has been reached."},
      {10014, "The lpWSAData is not a valid pointer."},
      {12345, "WSAStartup error: 0x3039"},
  };
  for (const auto& c : cases) {
    StartupScript script(word(9, 9), c.code);
    RecordingLog log;
    EXPECT_EQ(component::startSockets(log), c.code == 0) << c.code;
    EXPECT_EQ(StartupScript::asked(), std::vector<uint16_t>{0x0909});
    EXPECT_EQ(textOf(log), c.text ? std::string("QuillonLog:\r\n  ") + c.text + "\r\n" : "QuillonLog:\r\n");
  }
}

TEST(SocketStartup, ASocketStartsItWhenPendingAndItRunsOnceEvenAfterAFailure) {
  {
    StartupScript script(word(9, 9), 0);
    component::TcpSocket socket;
    EXPECT_EQ(StartupScript::asked().size(), 1u);
  }
  StartupScript script(word(9, 9), 10091);
  RecordingLog log;
  EXPECT_FALSE(component::startSockets(log));
  EXPECT_TRUE(component::startSockets(log));
  component::TcpSocket socket;
  EXPECT_EQ(StartupScript::asked().size(), 1u);
}

}  // namespace
