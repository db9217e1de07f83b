// TLS on each system, against servers on loopback: HTTPS through the whole
// client (sign-in, upload server look-up, an upload and its codes, through the
// TLS front of the local service stand-in), every way a server fails the
// checks (the reason shown, no byte of a request sent); then the stream itself
// with megabytes both ways and the ends and failures the client cannot show.
#include "platform/tls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/app_state.h"
#include "platform/clock.h"
#include "service/sign_in.h"
#include "service/upload_server.h"
#include "shell/commands.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"
#include "support/tls_front.h"
#include "upload/failure_reason.h"
#include "upload/upload_batch.h"

namespace {

using platform::TlsFailure;
using testsupport::TlsFront;

constexpr uint32_t kExchangeLimitMs = 30000;
// The longest silence a receive waits out: shorter than the 3 s that the front
// waits for the client's closing alert, so that a missing alert, or bytes that
// the stream holds without saying so, show as a missing end.
constexpr uint32_t kSilenceLimitMs = 2000;

// One front for the whole program: its keys take a moment to make.
TlsFront& front() {
  static TlsFront f;
  return f;
}

// What the user reads when the secure connection to `host` failed.
std::string refused(const std::string& host) { return "Secure connection to " + host + " failed: "; }

// A picture of one pixel, dropped on the first album of the list.
class OneDrop : public upload::DroppedFiles {
 public:
  int albumIndex(app::AlbumListView&) override { return 0; }
  int count() override { return 1; }
  std::string path(int) override {
    testsupport::writeFileBytes("pic.gif", std::string("GIF89a\x01\0\x01\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\x04\x01\0\0\0\0,"
                                                       "\0\0\0\0\x01\0\x01\0\0\x02\x02" "D\x01\0;", 43));
    return "pic.gif";
  }
  void finish() override {}
};

// A desktop that runs `whileShown` inside each message box: the time the user
// takes to read it.
struct WatchedDesktop : testsupport::ScriptedDesktop {
  app::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                app::MessageButtons buttons) override {
    if (whileShown) whileShown();
    return ScriptedDesktop::messageBox(text, caption, buttons);
  }
  std::function<void()> whileShown;
};

class Https : public testing::Test {
 protected:
  void SetUp() override {
    if (!front().ready()) GTEST_SKIP() << front().whyNot();
    testsupport::ensureSocketsStarted();
    state_.login.username = "demo";
    state_.login.hashedPassword = "fe01ce2a7fbac8fafaed7c982a04e229";
    state_.signedIn = true;
    state_.promptBeforeUpload = false;
    desktop_->albums().addAlbum("11", std::make_unique<app::Album>(11, "A", ""));
  }
  // As the console's --service and --cacert choose them.
  void useService(const std::string& address) {
    std::string problem;
    const std::string caFile = front().caFile();
    ASSERT_TRUE(app::chooseServiceEndpoint(&address, &state_.service, &problem)) << problem;
    ASSERT_TRUE(app::chooseCaFile(&caFile, &state_.service, &problem)) << problem;
    state_.service.limits.connectTimeoutMs = 1000;
  }
  upload::FileOutcome uploadPicture() {
    OneDrop drop;
    return upload::uploadDroppedFiles(state_, drop).files.at(0);
  }

  testsupport::TempDir dir_{true};
  std::shared_ptr<WatchedDesktop> desktop_ = std::make_shared<WatchedDesktop>();
  app::AppState state_{desktop_};
};

TEST_F(Https, SignInUploadAndCodesGoThroughTheTlsFront) {
  const std::string site = "https://localhost:" + std::to_string(front().port(TlsFront::kService));
  useService(site);
  ASSERT_TRUE(service::signInAndLoadAlbums(state_));
  const upload::FileOutcome file = uploadPicture();
  EXPECT_EQ(file.codes.html.find("<a href=\"" + site + "/files/demo/0/"), 0u) << file.error;
  EXPECT_EQ(shell::albumPageAddress(state_, app::Album(11, "", "")), site + "/members/demo/view.php?aid=11");
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

TEST_F(Https, RefusedServersGetNoByteOfTheRequestAndTheUserReadsWhy) {
  enum Peer { kFront, kPlainHttp, kSilent };
  const struct {
    Peer peer;
    TlsFront::Kind kind;
    const char* reason;
    const char* host = "localhost";
    const char* caFile = nullptr;  // nullptr: the front's CA; "": the system's roots
  } cases[] = {
      {kFront, TlsFront::kForeignCa, "the server's certificate is not from a trusted authority"},
      {kFront, TlsFront::kGood, "the server's certificate is not from a trusted authority", "localhost", ""},
      {kFront, TlsFront::kOtherHost, "the server's certificate is made out to another host name"},
      {kFront, TlsFront::kOtherHost, "the server's certificate is made out to another host name", "127.0.0.1"},
      {kFront, TlsFront::kExpired, "the server's certificate has expired or is not yet valid"},
      {kFront, TlsFront::kOldVersion, "the TLS exchange failed"},
      {kFront, TlsFront::kGood, "the CA file cannot be used (no-such-ca.pem: ", "localhost", "no-such-ca.pem"},
      {kPlainHttp, TlsFront::kKinds, "the server does not speak TLS on this port"},
      {kSilent, TlsFront::kKinds, "the TLS handshake did not finish in time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    testsupport::LoopbackPeer peer;
    // A plain server answers the first byte of the hello (a handshake record, 0x16).
    if (c.peer == kPlainHttp) peer.receiveUntil(std::string(1, '\x16')).send("HTTP/1.1 400 Bad Request\r\n\r\n");
    if (c.peer == kSilent) peer.stall();
    peer.start();
    const size_t before = c.peer == kFront ? front().received(c.kind) : 0;
    useService("https://" + std::string(c.host) + ":" +
               std::to_string(c.peer == kFront ? front().port(c.kind) : peer.port()));
    if (c.caFile) state_.service.caFile = c.caFile;
    // The connection is gone while the user reads why, however long that takes.
    bool closedWhileShown = false;
    desktop_->whileShown = [&] {
      const uint32_t shown = platform::tickCount();
      while (!peer.clientClosed() && platform::tickCount() - shown < 1000) platform::sleepMs(5);
      closedWhileShown = peer.clientClosed();
    };
    if (c.peer != kSilent) desktop_->whileShown = nullptr;  // the others do not read on
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(service::lookUpUploadServer(state_));
    desktop_->whileShown = nullptr;
    EXPECT_LT(platform::tickCount() - start, 2000u);
    EXPECT_EQ(closedWhileShown, c.peer == kSilent);
    const testsupport::RecordedBox box = desktop_->boxes().at(size_t(&c - cases));
    EXPECT_EQ(box.caption, "Network Error");
    EXPECT_EQ(box.text.rfind(refused(c.host) + c.reason, 0), 0u) << box.text;
    EXPECT_EQ(c.peer == kFront ? front().received(c.kind) : 0u, before);
    EXPECT_EQ(peer.received().find("GET"), std::string::npos);
  }

  // The upload server that the service names is held to the same checks, and
  // the reason stays in data/lasterror.xml.
  testsupport::LoopbackPeer service;
  service.receiveUntil("\n\n").send("HTTP/1.1 200 OK\r\n\r\n<getserver><uploadform>https://localhost:" +
                                    std::to_string(front().port(TlsFront::kForeignCa)) + "/u</uploadform></getserver>");
  service.start();
  useService(service.address());
  const upload::FileOutcome file = uploadPicture();
  EXPECT_EQ(file.error.rfind("the upload did not go through: " + refused("localhost") + cases[0].reason, 0), 0u)
      << file.error;
  EXPECT_NE(testsupport::readFileBytes(upload::lastErrorPath()).find(refused("localhost")), std::string::npos);
  EXPECT_EQ(front().received(TlsFront::kForeignCa), 0u);
}

TEST(HttpsAddresses, InEitherLetterCaseMeanTlsOnPort443UnlessTheyNameOne) {
  app::WebAddress target;
  ASSERT_TRUE(app::parseWebAddress("HTTPS://up.invalid/u.php", app::AddressUse::kUpload, &target));
  EXPECT_TRUE(target.secure && target.port == 443 && target.host == "up.invalid") << target.port;
  app::ServiceEndpoint service;
  ASSERT_TRUE(app::parseServiceEndpoint("Https://kestrova.com/", &service));
  EXPECT_TRUE(service.secure && service.port == 443 && service.siteRoot() == "https://kestrova.com/");
}

std::string pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = TlsFront::pattern(i);
  return bytes;
}

// A socket connected to 127.0.0.1:port, and the stream over it.
struct Client {
  explicit Client(uint16_t port) {
    uint32_t loopback = 0;
    platform::parseDottedIPv4("127.0.0.1", &loopback);
    EXPECT_EQ(platform::connectIPv4(socket, loopback, port), 0);
  }
  ~Client() { platform::closeSocketHandle(socket); }
  platform::SocketHandle socket = platform::openStreamSocket();
  platform::TlsStream tls;
};

// The front's exchange: sends "UP DOWN\n" and `up` bytes, reads `down` bytes,
// closes for sending and reads on to the server's end. Returns the bytes read;
// *end is the last receive's result (-1 as well when the time ran out).
std::string exchange(platform::TlsStream& tls, size_t up, size_t down, int* end) {
  const std::string request = std::to_string(up) + " " + std::to_string(down) + "\n" + pattern(up);
  const uint32_t start = platform::tickCount();
  const auto left = [start] { return kExchangeLimitMs - std::min(kExchangeLimitMs, platform::tickCount() - start); };
  *end = -1;
  for (size_t sent = 0; sent < request.size();) {
    const int n = tls.send(request.data() + sent, int(request.size() - sent));
    if (n > 0) sent += size_t(n);
    if (n < 0 && (!tls.wouldBlock() || tls.waitWritable(left()) != 1)) return {};
  }
  int flushed = 0;
  while ((flushed = tls.flush()) == 0 && tls.waitWritable(left()) == 1) {
  }
  if (flushed != 1) return {};
  std::string got;
  // Less than a record at a time: the rest waits decrypted inside the stream,
  // while the server waits for the closing alert and sends nothing more.
  char buffer[5000];
  while (tls.waitReadable(std::min(left(), kSilenceLimitMs)) == 1) {
    const int n = tls.receive(buffer, sizeof buffer);
    if (n <= 0) {
      *end = n;
      break;
    }
    got.append(buffer, size_t(n));
    if (got.size() == down) tls.close();
  }
  return got;
}

TEST(TlsStream, MovesMegabytesBothWaysAndEndsWhereTheServerEndsBetweenRecords) {
  const struct {
    TlsFront::Kind kind;
    size_t bytes;  // each way
    TlsFailure end;
  } cases[] = {
      {TlsFront::kGood, 3 << 20, TlsFailure::kNone},      // ends with its closing alert
      {TlsFront::kNoAlert, 40000, TlsFailure::kNone},     // an end without the alert is an end too
      {TlsFront::kCutRecord, 40000, TlsFailure::kEnded},  // an end inside a record is not
  };
  testsupport::ensureSocketsStarted();
  if (!front().ready()) GTEST_SKIP() << front().whyNot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Client client(front().port(c.kind));
    ASSERT_TRUE(client.tls.handshake(client.socket, "localhost", front().caFile(), 10000)) << client.tls.errorText();
    int end = 0;
    EXPECT_TRUE(exchange(client.tls, c.bytes, c.bytes, &end) == pattern(c.bytes));
    EXPECT_EQ(end, c.end == TlsFailure::kNone ? 0 : -1);
    EXPECT_EQ(client.tls.failure(), c.end) << client.tls.errorText();
  }
}

}  // namespace
