// The console program's upload against upload servers that answer in ways real
// ones do: a scripted loopback peer takes the upload, the local service
// stand-in the sign-in and names the peer as the upload address.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using testsupport::shellQuote;

const char kDocument[] = "<upload><thumburl>http://t/1.jpg</thumburl><imageurl>http://i/1.jpg</imageurl></upload>";
const char kCode[] = "<a href=\"http://i/1.jpg\"><img src=\"http://t/1.jpg\" border=0></a>";

class UploadReplies : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!service_.running()) GTEST_SKIP() << "the local service stand-in needs php";
    testsupport::writeFileBytes(work_.file("pic.jpg"), "not really a picture");
    testsupport::writeFileBytes(work_.file("big.jpg"), std::string(16 * 1024 * 1024, 'b'));
    testsupport::writeFileBytes(work_.file("password"), "demo\n");
  }

  // Starts `flingpost upload` of `file` in the working folder; its pid.
  pid_t start(const std::string& file) {
    const std::string cmd = "cd " + shellQuote(work_.path()) + " && KESTROVA_SERVICE=" +
                            shellQuote(service_.address()) + " exec " + shellQuote(FP_FLINGPOST_BIN) +
                            " upload --album 11 --user demo --password-stdin --yes " + shellQuote(work_.file(file)) +
                            " <password >out.txt 2>err.txt";
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    return pid;
  }
  // Its exit status; a run that takes over 30 s is killed (-1).
  static int finish(pid_t pid) {
    int status = 0;
    for (int waited = 0; waited < 30000; waited += 20) {
      if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      platform::sleepMs(20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  std::string data(const char* name) const { return testsupport::readFileBytes(work_.file("data/" + std::string(name))); }

  testsupport::LoopbackPeer peer_;  // first: the service names it
  testsupport::DevService service_{{{"DEVSERVICE_UPLOAD_URL", "http://" + peer_.address() + "/upload.php"}}};
  testsupport::TempDir work_;
};

TEST_F(UploadReplies, CodesComeFromTheWholeReplyAndNeverFromPartOfIt) {
  const std::string doc = kDocument;
  char chunkSize[16];
  std::snprintf(chunkSize, sizeof chunkSize, "%x", unsigned(doc.size()));
  const std::string padded = doc + std::string(5000 - doc.size(), ' ');
  const struct {
    const char* name;
    std::vector<std::string> parts;  // 300 ms apart
    bool early;                      // the peer answers the request header, then closes unread
    bool interrupt;                  // Ctrl-C once the request is sent
    const char* file;
    bool ok;
    const char* lastErrorHas;
  } cases[] = {
      {"a reply without framing in two writes", {"HTTP/1.0 200 OK\r\n\r\n" + doc.substr(0, 40), doc.substr(40)},
       false, false, "pic.jpg", true, ""},
      {"a status line without a reason phrase",
       {"HTTP/1.1 200\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(chunkSize) + "\r\n" + doc + "\r\n0\r\n\r\n"},
       false, false, "pic.jpg", true, ""},
      {"Ctrl-C while the body is read", {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + padded.substr(0, 96)},
       false, true, "pic.jpg", false, "Aborted by application"},
      {"413 before the request was complete",
       {"HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 9\r\nConnection: close\r\n\r\ntoo large"}, true,
       false, "big.jpg", false, "HTTP/1.1 413 Request Entity Too Large"},
  };
  for (const auto& k : cases) {
    if (&k != cases) peer_.nextConnection();
    if (k.early) {
      peer_.receiveUntil("\r\n\r\n", 20000).reading(false);
    } else {
      peer_.receiveUntil("--\r\n", 20000);
    }
    for (size_t i = 0; i < k.parts.size(); ++i) {
      if (i) peer_.pause(300);
      peer_.send(k.parts[i]);
    }
    if (k.interrupt) peer_.stall(20000);
    peer_.close();
  }
  peer_.start(20000);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& k = cases[i];
    SCOPED_TRACE(k.name);
    const pid_t pid = start(k.file);
    ASSERT_GT(pid, 0);
    if (k.interrupt) {
      for (int waited = 0; waited < 20000 && peer_.received(i).find("--\r\n") == std::string::npos; waited += 20) {
        platform::sleepMs(20);
      }
      platform::sleepMs(500);  // the reply's first bytes are read by now
      kill(pid, SIGINT);
    }
    const int status = finish(pid);
    EXPECT_EQ(status == 0, k.ok) << status << "\n" << testsupport::readFileBytes(work_.file("err.txt"));
    EXPECT_EQ(data("htmlcodes.txt"), k.ok ? kCode : "");
    EXPECT_NE(data("lasterror.xml").find(k.lastErrorHas), std::string::npos) << data("lasterror.xml");
  }
}

}  // namespace
