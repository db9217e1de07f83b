// A file that the upload server turns away: the window says "Upload Failed" and
// data/lasterror.xml keeps the server's answer. A scripted loopback server plays
// both the service (the upload address) and the upload server.
#include <gtest/gtest.h>

#include "shell/win32/gui_support.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "upload/failure_reason.h"
#include "upload/link_code_cache.h"

namespace guitest {
namespace {

using UploadFailure = MainWindowTest;

std::string httpReply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(UploadFailure, ABodyTooLargeShowsUploadFailedAndLeavesTheReasonInLastError) {
  testsupport::LoopbackPeer peer;
  const std::string form = "<getserver><uploadform>http://" + peer.address() + "/up.php</uploadform></getserver>";
  peer.receiveUntil("\n\n").send(httpReply("200 OK", form)).close();
  peer.nextConnection().receiveUntil("--\r\n");
  peer.send(httpReply("413 Request Entity Too Large", "<html><head><title>413 Request Entity Too Large</title>"));
  peer.close();
  peer.start();
  ASSERT_TRUE(app::parseServiceEndpoint(peer.address(), &state().service));
  addDemoAlbums();
  state().signedIn = true;
  state().promptBeforeUpload = false;
  // A name outside the code page, which lasterror.xml must keep as it is.
  const std::string big = dir.path() + "\\big\xCF\x88.png";
  ASSERT_TRUE(writeFile(big, "picture"));

  ModalDriver driver;
  driver.answer("OOPS", IDOK);
  drop({big}, POINT{20, 75});
  EXPECT_EQ(driver.boxes, std::vector<std::string>{"Upload Failed"});
  EXPECT_TRUE(peer.waitDone(5000));
  const std::string lastError = testsupport::readFileBytes(upload::lastErrorPath());
  EXPECT_NE(lastError.find("<file>" + big + "</file>"), std::string::npos) << lastError;
  EXPECT_NE(lastError.find("<reason>the server answered &quot;HTTP/1.1 413 Request Entity Too Large&quot;: "
                           "&lt;html&gt;&lt;head&gt;&lt;title&gt;413"),
            std::string::npos)
      << lastError;
  EXPECT_EQ(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml)), "");
}

}  // namespace
}  // namespace guitest
