#include "service/upload_server.h"

#include <gtest/gtest.h>

#include "service/service_fixture.h"

namespace {

using testsupport::httpReply;

const char kEarlier[] = "http://earlier.invalid/upload.php";

class UploadServerTest : public testsupport::ServiceTest {
 protected:
  UploadServerTest() { state_->uploadUrl = kEarlier; }

  bool lookUpWith(const std::string& reply) {
    return answering(reply, [this] { return service::lookUpUploadServer(*state_); });
  }
  std::string savedReply() const { return testsupport::readFileBytes("data/serverdata.xml"); }
};

TEST_F(UploadServerTest, StoresTheAddressExactlyAsGiven) {
  const std::string body =
      "<?xml version=\"1.0\"?>\n<getserver><uploadform>http://up.invalid:81/a/b.php?x=1&amp;y</uploadform>"
      "</getserver>";
  ASSERT_TRUE(lookUpWith(testsupport::chunkedReply(body, 1000)));
  EXPECT_EQ(state_->uploadUrl, "http://up.invalid:81/a/b.php?x=1&y");
  EXPECT_EQ(request_, "GET /getserverxml.php HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  // Saved from the first "<": the chunk-size line before it is cut, the end marker after it stays.
  EXPECT_EQ(savedReply(), body + "\r\n0\r\n\r\n");
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // Not a form check: whatever text the service names is taken.
  ASSERT_TRUE(lookUpWith(httpReply("<getserver><uploadform>not an address</uploadform></getserver>")));
  EXPECT_EQ(state_->uploadUrl, "not an address");
}

TEST_F(UploadServerTest, FailuresShowTheirMessageAndKeepTheEarlierAddress) {
  struct Row {
    const char* status;
    std::string body;
    const char* message;
  };
  const Row rows[] = {
      {"200 OK", "<getserver><uploadform>x</getserver>", "Error opening server XML"},
      // No "<" at all: the file the row before left is emptied.
      {"200 OK", "", "Error opening server XML"},
      {"200 OK", "<server><uploadform>http://x.invalid/</uploadform></server>", "Cannot find root node in server XML"},
      {"200 OK", "<getserver><upload>http://x.invalid/</upload></getserver>", "Cannot find root node in server XML"},
      {"200 OK", "<getserver><uploadform></uploadform></getserver>", "Body of uploadform node is empty!"},
      {"200 OK", "<getserver><uploadform><b>x</b></uploadform></getserver>", "Body of uploadform node is empty!"},
      // An error page is saved and read like any other reply.
      {"404 Not Found", "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>",
       "Cannot find root node in server XML"},
      {"404 Not Found", "<!DOCTYPE html><html><body><p>Gone<br></body></html>", "Error opening server XML"},
  };
  size_t shown = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    EXPECT_FALSE(lookUpWith(httpReply(row.body, row.status)));
    EXPECT_EQ(savedReply(), row.body);
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), ++shown);
    EXPECT_EQ(boxes.back().text, row.message);
    EXPECT_EQ(boxes.back().caption, "Setup Error");
    EXPECT_EQ(state_->uploadUrl, kEarlier);
  }
}

TEST_F(UploadServerTest, AFailedFetchShowsOnlyItsNetworkMessage) {
  // A reply that is exactly the fetcher's error word reads as a failed fetch.
  EXPECT_FALSE(lookUpWith("error"));
  EXPECT_EQ(desktop_->boxCount(), 0u);
  useService(testsupport::closedLoopbackPort());
  EXPECT_FALSE(service::lookUpUploadServer(*state_));
  EXPECT_EQ(onlyBox().caption, "Network Error");
  EXPECT_EQ(state_->uploadUrl, kEarlier);
}

}  // namespace
