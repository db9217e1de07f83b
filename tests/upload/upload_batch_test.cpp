// The upload batch end to end against the local service stand-in, with a
// scripted desktop standing in for the window.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "app/app_state.h"
#include "app/data_files.h"
#include "platform/files.h"
#include "service/xml_reading.h"
#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"
#include "upload/failure_reason.h"
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
    signIn(service_->address());
  }
  // A signed-in state with three albums, its service at `address`.
  void signIn(const std::string& address) {
    desktop_ = std::make_shared<testsupport::ScriptedDesktop>();
    state_ = std::make_unique<app::AppState>(desktop_);
    ASSERT_TRUE(app::parseServiceEndpoint(address, &state_->service));
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
  // The reason in data/lasterror.xml; empty when there is none.
  static std::string lastErrorReason() {
    TiXmlDocument doc;
    std::string reason;
    if (service::loadXmlFile(upload::lastErrorPath(), &doc))
      service::elementText(service::firstChild(service::firstChild(&doc, "lasterror"), "reason"), &reason);
    return reason;
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
  EXPECT_EQ(out.files[2].error, "the upload did not go through: Failed to get file size information");
  EXPECT_EQ(lastErrorReason(), out.files[2].error) << "a later success leaves the batch's last failure";
  EXPECT_NE(testsupport::readFileBytes(upload::lastErrorPath()).find("<BlockingUpload>"), std::string::npos);
}

// One file per reply from a scripted upload server: a reply either becomes the
// file's two codes or fails the file with its reason, appending nothing.
TEST_F(UploadBatchTest, EachReplyBecomesCodesOrFailsItsFileWithAReason) {
  const auto http = [](const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  };
  const auto uploadReply = [&](const std::string& inside) { return http("200 OK", "<upload>" + inside + "</upload>"); };
  const auto addresses = [](const std::string& thumb, const std::string& image) {
    return "<thumburl>" + thumb + "</thumburl><imageurl>" + image + "</imageurl>";
  };
  const std::string badScheme = "the reply names an address that is neither http nor https: ";
  const struct {
    const char* what;
    std::string reply;
    std::string error;  // the start of the file's reason; empty: the codes below are made
    std::string html = "", bbcode = "";
    bool replyFileIsFolder = false;
  } cases[] = {
      {"entities decoded, markup kept out, either letter case",
       uploadReply(addresses("HTTP://h/t.jpg?a=1&amp;b=2\" onerror=\"x", "https://h/[/URL][URL=evil]&lt;script&gt;")),
       "",
       "<a href=\"https://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E\">"
       "<img src=\"HTTP://h/t.jpg?a=1&b=2%22%20onerror=%22x\" border=0></a>",
       "[URL=https://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E][IMG]HTTP://h/t.jpg?a=1&b=2%22%20onerror=%22x[/IMG][/URL]"},
      {"body too large",
       http("413 Request Entity Too Large", "<html>\r\n<head><title>413 Request Entity Too Large</title></head>\r\n"),
       "the server answered \"HTTP/1.1 413 Request Entity Too Large\": <html> <head><title>413 Request Entity Too "
       "Large</title></head>"},
      {"server error, its page cut short",
       http("500 Internal Server Error", "\r\n Database\tgone\x01 " + std::string(300, 'x')),
       "the server answered \"HTTP/1.1 500 Internal Server Error\": Database gone " + std::string(186, 'x') + "..."},
      {"not found, no body", http("404 Not Found", ""), "the server answered \"HTTP/1.1 404 Not Found\""},
      {"refused though it names addresses",
       uploadReply("<error>not an image</error>" + addresses("http://h/t", "http://h/i")),
       "the service refused the file: not an image"},
      {"no image address", uploadReply("<thumburl>http://h/t</thumburl>"), "the reply names no image address"},
      {"not XML", http("200 OK", "<upload><thumburl>"),
       "the reply names no image address (it is not well-formed XML: "},
      {"script address", uploadReply(addresses("http://h/t", "javaScript:alert(1)")),
       badScheme + "javaScript:alert(1)"},
      {"data address", uploadReply(addresses("data:image/svg+xml,x", "http://h/i")),
       badScheme + "data:image/svg+xml,x"},
      {"reply file cannot be written", uploadReply(addresses("http://h/t", "http://h/i")),
       "the reply could not be saved to " + app::dataPath(app::kUploadResponseFile) + ": Is a directory", "", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::LoopbackPeer peer;
    const std::string form = "<getserver><uploadform>http://" + peer.address() + "/up.php</uploadform></getserver>";
    peer.receiveUntil("\n\n").send(http("200 OK", form)).close();
    peer.nextConnection().receiveUntil("--\r\n").send(c.reply).close();
    peer.start();
    signIn(peer.address());
    state_->promptBeforeUpload = false;
    testsupport::writeFileBytes(upload::lastErrorPath(), "<lasterror><reason>earlier batch</reason></lasterror>");
    const std::string replyPath = app::dataPath(app::kUploadResponseFile);
    std::remove(replyPath.c_str());
    if (c.replyFileIsFolder) {
      ASSERT_TRUE(platform::createDirectory(replyPath));
    }
    TestDrop drop(1, {image("a.png")});
    const upload::BatchOutcome out = upload::uploadDroppedFiles(*state_, drop);
    ASSERT_EQ(out.files.size(), 1u);
    const upload::FileOutcome& f = out.files[0];
    EXPECT_EQ(f.error.substr(0, c.error.size()), c.error);
    EXPECT_EQ(f.error.empty(), c.error.empty()) << f.error;
    EXPECT_EQ(f.linked, c.error.empty());
    EXPECT_EQ(f.uploaded, c.reply.compare(0, 10, "HTTP/1.1 2") == 0);
    EXPECT_EQ(lastErrorReason(), f.error);
    EXPECT_EQ(captions(), c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{"OOPS"});
    EXPECT_EQ(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kHtml)), c.html);
    EXPECT_EQ(testsupport::readFileBytes(upload::cacheFilePath(upload::CodeKind::kBbcode)), c.bbcode);
    EXPECT_TRUE(peer.waitDone(5000));
  }
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
  EXPECT_NE(out.files[0].error, "");
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
