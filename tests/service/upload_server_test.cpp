#include "service/upload_server.h"

#include <gtest/gtest.h>

#include "service/service_fixture.h"
#include "support/loopback_peer.h"

namespace {


class UploadServerTest : public testsupport::ServiceTest {
 protected:
  UploadServerTest() { state_->uploadUrl = "http://earlier.invalid/upload.php"; }

  bool lookUpWith(const std::string& reply) {
    return answering(reply, [this] { return service::lookUpUploadServer(*state_); });
  }
};

TEST_F(UploadServerTest, StoresTheAddressExactlyAsGiven) {
  ASSERT_TRUE(lookUpWith(testsupport::httpReply(
      "<?xml version=\"1.0\"?><getserver><uploadform>http://up.invalid:81/a/b.php?x=1&amp;y</uploadform>"
      "</getserver>")));
  EXPECT_EQ(state_->uploadUrl, "http://up.invalid:81/a/b.php?x=1&y");
  EXPECT_EQ(request_, "GET /getserverxml.php HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // Not a form check: whatever text the service names is taken.
  ASSERT_TRUE(lookUpWith(testsupport::httpReply("<getserver><uploadform>not an address</uploadform></getserver>")));
  EXPECT_EQ(state_->uploadUrl, "not an address");
}

TEST_F(UploadServerTest, FailuresShowTheirMessageAndKeepTheEarlierAddress) {
  const std::pair<std::string, const char*> rows[] = {
      {"<getserver><uploadform>x</getserver>", "Error opening server XML"},
      {"", "Error opening server XML"},
      {"<server><uploadform>http://x.invalid/</uploadform></server>", "Cannot find root node in server XML"},
      {"<getserver><upload>http://x.invalid/</upload></getserver>", "Cannot find root node in server XML"},
      {"<getserver><uploadform></uploadform></getserver>", "Body of uploadform node is empty!"},
      {"<getserver><uploadform><b>x</b></uploadform></getserver>", "Body of uploadform node is empty!"},
  };
  size_t shown = 0;
  for (const auto& row : rows) {
    EXPECT_FALSE(lookUpWith(testsupport::httpReply(row.first))) << row.first;
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    ASSERT_EQ(boxes.size(), ++shown) << row.first;
    EXPECT_EQ(boxes.back().text, row.second);
    EXPECT_EQ(boxes.back().caption, "Setup Error");
    EXPECT_EQ(state_->uploadUrl, "http://earlier.invalid/upload.php");
  }
}

TEST_F(UploadServerTest, AFetchFailureShowsOnlyTheNetworkMessage) {
  useService(testsupport::closedLoopbackPort());
  EXPECT_FALSE(service::lookUpUploadServer(*state_));
  EXPECT_EQ(onlyBox().caption, "Network Error");
  EXPECT_EQ(state_->uploadUrl, "http://earlier.invalid/upload.php");
}

TEST_F(UploadServerTest, AReplyThatIsExactlyTheErrorWordCountsAsAFailedFetch) {
  EXPECT_FALSE(lookUpWith("error"));
  EXPECT_EQ(desktop_->boxCount(), 0u);
  EXPECT_EQ(state_->uploadUrl, "http://earlier.invalid/upload.php");
}

}  // namespace
