// The upload batch end to end against the local service stand-in, with a
// scripted desktop standing in for the window.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "app/app_state.h"
#include "app/data_files.h"
#include "support/file_text.h"
#include "support/dev_service.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"
#include "upload/link_code_cache.h"
#include "upload/upload_address.h"
#include "upload/upload_batch.h"

namespace {

using testsupport::jsonField;

const unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x08, 0x02, 0x00, 0x00, 0x00, 0x71, 0x67, 0x48, 0xac, 0x00,
    0x00, 0x00, 0x09, 0x70, 0x48, 0x59, 0x73, 0x00, 0x00, 0x0e, 0xc4, 0x00, 0x00, 0x0e, 0xc4, 0x01, 0x95,
    0x2b, 0x0e, 0x1b, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44, 0x41, 0x54, 0x08, 0x99, 0x63, 0x3c, 0x21, 0x27,
    0xc7, 0x80, 0x0d, 0x30, 0x61, 0x15, 0xa5, 0x93, 0x04, 0x00, 0x9b, 0x14, 0x01, 0x10, 0xd9, 0xc2, 0x56,
    0x82, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

class TestDrop : public upload::DroppedFiles {
 public:
  TestDrop(int index, std::vector<std::string> paths) : index_(index), paths_(std::move(paths)) {}
  int albumIndex(app::AlbumListView&) override { return index_; }
  int count() override { return int(paths_.size()); }
  std::string path(int i) override { return paths_[size_t(i)]; }
  void finish() override { ++finished; }
  int finished = 0;

 private:
  int index_;
  std::vector<std::string> paths_;
};

// Stops the upload as soon as the component first asks.
class StoppingObserver : public app::TransferObserver {
 public:
  void fileStarted(const std::string& name) override { started.push_back(name); }
  void percentDone(int) override {}
  bool stopRequested() override { return true; }
  std::vector<std::string> started;
};

class UploadBatchTest : public ::testing::Test {
 protected:
  void start(const std::map<std::string, std::string>& env = {}) {
    service_ = std::make_unique<testsupport::DevService>(env);
    if (!service_->running()) GTEST_SKIP() << "the local service stand-in needs php";
    desktop_ = std::make_shared<testsupport::ScriptedDesktop>();
    state_ = std::make_unique<app::AppState>(desktop_);
    ASSERT_TRUE(app::parseServiceEndpoint(service_->address(), &state_->service));
    state_->signedIn = true;
    state_->login.username = testsupport::DevService::kUser;
    state_->login.hashedPassword = testsupport::DevService::kDigest;
    auto& list = desktop_->albumList();
    list.addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
    list.addAlbum("11", std::make_unique<app::Album>(11, "Holiday", "Summer by the sea"));
    list.addAlbum("12", std::make_unique<app::Album>(12, "Cats & Dogs", ""));
  }
  std::string image(const std::string& name) {
    const std::string path = dir_.file(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(kPng), sizeof kPng);
    return path;
  }
  std::vector<int> bars() const {
    std::vector<int> v;
    for (const auto& e : desktop_->progress())
      if (e.kind == testsupport::ProgressEvent::kBar) v.push_back(e.value);
    return v;
  }
  std::vector<std::string> captions() const {
    std::vector<std::string> v;
    for (const auto& b : desktop_->boxes()) v.push_back(b.caption);
    return v;
  }

  testsupport::TempDir dir_{true};
  std::unique_ptr<testsupport::DevService> service_;
  std::shared_ptr<testsupport::ScriptedDesktop> desktop_;
  std::unique_ptr<app::AppState> state_;
};

TEST_F(UploadBatchTest, FiveFilesWithTheThirdMissingUploadFourAndFailOnce) {
  start();
  state_->promptBeforeUpload = false;
  state_->thumbnailSize = 300;
  TestDrop drop(1, {image("a.png"), image("b.png"), dir_.file("missing.png"), image("d.png"), image("e.png")});
  const upload::BatchOutcome out = upload::uploadDroppedFiles(*state_, drop);

  EXPECT_EQ(out.end, upload::BatchOutcome::End::kDone);
  EXPECT_EQ(drop.finished, 1);
  ASSERT_EQ(desktop_->boxCount(), 1u);
  EXPECT_EQ(desktop_->boxes()[0].text, "Upload Failed");
  EXPECT_EQ(desktop_->boxes()[0].caption, "OOPS");
  EXPECT_EQ(bars(), (std::vector<int>{5, 20, 40, 60, 80, 100}));
  EXPECT_EQ(desktop_->openProgressViews(), 0);

  // Only the four that exist reached the service, with the batch's fields.
  const auto log = service_->uploadLog();
  ASSERT_EQ(log.size(), 4u);
  for (const auto& line : log) {
    EXPECT_EQ(jsonField(line, "user"), "demo");
    EXPECT_EQ(jsonField(line, "aid"), "11");
    EXPECT_EQ(jsonField(line, "type"), "file");
    EXPECT_EQ(jsonField(line, "thumbsize"), "300");
    EXPECT_EQ(jsonField(line, "ok"), "true");
  }
  EXPECT_EQ(jsonField(log[2], "filename"), "d.png");

  // Four codes of each kind, back to back, in upload order.
  int linked = 0;
  for (const auto& f : out.files) linked += f.linked;
  EXPECT_EQ(linked, 4);
  const std::string html = testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml));
  EXPECT_EQ(html, out.files[0].codes.html + out.files[1].codes.html + out.files[3].codes.html +
                      out.files[4].codes.html);
  EXPECT_NE(html.find("</a><a"), std::string::npos);
  EXPECT_FALSE(out.files[2].uploaded);
  EXPECT_NE(out.files[2].trail.find("Failed to get file size information"), std::string::npos);
  EXPECT_NE(testsupport::readFileBytes(app::dataPath("lasterror.xml")).find("<BlockingUpload>"), std::string::npos);
}

TEST_F(UploadBatchTest, PromptNamesCountAndAlbumAndNoSendsNothing) {
  start();
  TestDrop one(2, {image("one.png")});
  upload::uploadDroppedFiles(*state_, one);
  ASSERT_EQ(desktop_->boxCount(), 1u);
  EXPECT_EQ(desktop_->boxes()[0].text, "Upload 1 image to album\r\nCats & Dogs?");
  EXPECT_EQ(desktop_->boxes()[0].caption, "Are you sure?");
  EXPECT_EQ(desktop_->boxes()[0].buttons, app::MessageButtons::kYesNo);

  TestDrop three(0, {image("x.png"), image("y.png"), image("z.png")});
  upload::uploadDroppedFiles(*state_, three);
  EXPECT_EQ(desktop_->boxes()[1].text, "Upload 3 images to album\r\nPrivate?");
  EXPECT_EQ(one.finished + three.finished, 2);
  EXPECT_TRUE(desktop_->progress().empty());
  EXPECT_TRUE(service_->uploadLog().empty());
}

TEST_F(UploadBatchTest, ThreeFilesMoveTheBarToThirtyThreeSixtySixAndHundred) {
  start();
  desktop_->answerNext(app::MessageAnswer::kYes);
  TestDrop drop(0, {image("p.png"), image("q.png"), image("folder_r.png")});
  upload::uploadDroppedFiles(*state_, drop);
  EXPECT_EQ(bars(), (std::vector<int>{5, 33, 66, 100}));
  std::vector<std::string> texts;
  for (const auto& e : desktop_->progress())
    if (e.kind == testsupport::ProgressEvent::kText) texts.push_back(e.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Preparing Uploads", "Uploading file: p.png", "Uploading file: q.png",
                                             "Uploading file: folder_r.png"}));
  const auto log = service_->uploadLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(jsonField(log[0], "aid"), "0");
  EXPECT_EQ(jsonField(log[0], "thumbsize"), "200");
}

TEST_F(UploadBatchTest, SignedOutDropIsRefusedAndReleased) {
  start();
  state_->signedIn = false;
  TestDrop drop(1, {image("a.png")});
  EXPECT_EQ(upload::uploadDroppedFiles(*state_, drop).end, upload::BatchOutcome::End::kNotSignedIn);
  ASSERT_EQ(desktop_->boxCount(), 1u);
  EXPECT_EQ(desktop_->boxes()[0].text, "You aren't logged in yet!\r\n\r\nLog in first before uploading.");
  EXPECT_EQ(desktop_->boxes()[0].caption, "Login Error");
  EXPECT_EQ(drop.finished, 1);
  EXPECT_TRUE(service_->uploadLog().empty());
}

TEST_F(UploadBatchTest, DropBelowTheLastAlbumIsRefusedWithoutSending) {
  start();
  TestDrop drop(-1, {image("a.png")});
  EXPECT_EQ(upload::uploadDroppedFiles(*state_, drop).end, upload::BatchOutcome::End::kNoAlbum);
  EXPECT_EQ(captions(), std::vector<std::string>{"Upload aborted"});
  EXPECT_TRUE(desktop_->progress().empty());
  EXPECT_EQ(drop.finished, 1);
  EXPECT_TRUE(service_->uploadLog().empty());
}

TEST_F(UploadBatchTest, UnusableUploadAddressesAreRefusedWithoutSending) {
  for (const char* address : {"http:/127.0.0.1/upload.php", "http://127.0.0.1", "upload.php"}) {
    start({{"DEVSERVICE_UPLOAD_URL", address}});
    state_->promptBeforeUpload = false;
    TestDrop drop(1, {image("a.png")});
    EXPECT_EQ(upload::uploadDroppedFiles(*state_, drop).end, upload::BatchOutcome::End::kBadUploadAddress)
        << address;
    EXPECT_EQ(captions(), std::vector<std::string>{"Upload aborted"}) << address;
    EXPECT_EQ(desktop_->openProgressViews(), 0);
    EXPECT_TRUE(service_->uploadLog().empty());
  }
}

TEST_F(UploadBatchTest, FailedLookupShowsBothMessagesAndSendsNothing) {
  start();
  state_->promptBeforeUpload = false;
  ASSERT_TRUE(app::parseServiceEndpoint("127.0.0.1:1", &state_->service));  // nothing listens there
  TestDrop drop(1, {image("a.png")});
  EXPECT_EQ(upload::uploadDroppedFiles(*state_, drop).end, upload::BatchOutcome::End::kNoUploadAddress);
  EXPECT_EQ(captions(), (std::vector<std::string>{"Network Error", "Upload aborted"}));
  EXPECT_EQ(desktop_->boxes()[1].text,
            "The uploader failed to retrieve a valid upload URL for your upload.\r\n\r\n"
            "Your files were not transferred.  Try again later?");
  EXPECT_EQ(desktop_->openProgressViews(), 0);
}

TEST_F(UploadBatchTest, StopRequestedDuringAnUploadEndsTheBatchWithNothingCached) {
  start();
  state_->promptBeforeUpload = false;
  StoppingObserver observer;
  desktop_->setTransferObserver(&observer);
  TestDrop drop(1, {image("a.png"), image("b.png")});
  const upload::BatchOutcome out = upload::uploadDroppedFiles(*state_, drop);
  EXPECT_EQ(out.end, upload::BatchOutcome::End::kStopped);
  ASSERT_EQ(out.files.size(), 1u);
  EXPECT_FALSE(out.files[0].uploaded);
  EXPECT_EQ(observer.started, std::vector<std::string>{"a.png"});
  EXPECT_EQ(captions(), std::vector<std::string>{"OOPS"});
  EXPECT_EQ(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml)), "");
  EXPECT_EQ(desktop_->openProgressViews(), 0);
}

TEST(UploadAddress, SplitsHostPortAndPath) {
  upload::UploadTarget t;
  ASSERT_TRUE(upload::splitUploadAddress("http://up.kestrova.com/upload/form.php?x=1", &t));
  EXPECT_EQ(t.host, "up.kestrova.com");
  EXPECT_EQ(t.port, 80);
  EXPECT_EQ(t.path, "/upload/form.php?x=1");
  ASSERT_TRUE(upload::splitUploadAddress("http://127.0.0.1:8080/u", &t));
  EXPECT_EQ(t.host, "127.0.0.1");
  EXPECT_EQ(t.port, 8080);
  EXPECT_EQ(t.path, "/u");
  for (const char* bad : {"", "upload.php", "http:/h/p", "http://h", "http:///p", "http://h:/p", "http://h:0/p",
                          "http://h:99999/p", "http://h:8x/p"}) {
    EXPECT_FALSE(upload::splitUploadAddress(bad, &t)) << bad;
  }
}

TEST(UploadBatchTexts, FileNameIsTheLastPathComponent) {
  EXPECT_EQ(upload::fileNameOf("/home/u/Pictures/cat.jpg"), "cat.jpg");
  EXPECT_EQ(upload::fileNameOf("cat.jpg"), "cat.jpg");
  EXPECT_EQ(upload::uploadPrompt(2, "Holiday"), "Upload 2 images to album\r\nHoliday?");
}

}  // namespace
