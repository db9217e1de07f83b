// The upload batch end to end against a scripted loopback service, with a
// scripted desktop standing in for the window.
#include "upload/upload_batch.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/data_files.h"
#include "platform/files.h"
#include "service/xml_reading.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/scripted_desktop.h"
#include "support/temp_dir.h"
#include "upload/failure_reason.h"
#include "upload/link_code_cache.h"

namespace {

using End = upload::BatchOutcome::End;
using Texts = std::vector<std::string>;
using testsupport::readFileBytes;

struct TestDrop : upload::DroppedFiles {
  TestDrop(int album, Texts files) : index(album), paths(std::move(files)) {}
  int albumIndex(app::AlbumListView&) override { return index; }
  int count() override { return int(paths.size()); }
  std::string path(int i) override { return paths[size_t(i)]; }
  void finish() override { ++finished; }
  int index, finished = 0;
  Texts paths;
};

std::string http(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class UploadBatchTest : public ::testing::Test {
 protected:
  // A signed-in state with two albums, its service at `address`.
  void start(const std::string& address) {
    state_ = std::make_unique<app::AppState>(desktop_ = std::make_shared<testsupport::ScriptedDesktop>());
    ASSERT_TRUE(app::parseServiceEndpoint(address, &state_->service));
    state_->signedIn = true;
    state_->login.username = "demo";
    desktop_->albumList().addAlbum("0", std::make_unique<app::Album>(0, "Private", "Private Folder"));
    desktop_->albumList().addAlbum("11", std::make_unique<app::Album>(11, "Holiday", ""));
  }
  // A loopback service that names `address` for uploads and answers the uploads
  // with `replies` in turn.
  void startScripted(testsupport::LoopbackPeer& peer, const std::string& address, const Texts& replies) {
    peer.receiveUntil("\n\n").send(http("200 OK", "<getserver><uploadform>" + address + "</uploadform></getserver>"));
    peer.close();
    for (const std::string& reply : replies) peer.nextConnection().receiveUntil("--\r\n").send(reply).close();
    peer.start();
    start(peer.address());
  }
  std::string image(const std::string& name) {
    testsupport::writeFileBytes(dir_.file(name), "\x89PNG\r\n");
    return dir_.file(name);
  }
  Texts boxes() const {  // "caption: text" of each
    Texts v;
    for (const auto& b : desktop_->boxes()) v.push_back(b.caption + ": " + b.text);
    return v;
  }
  Texts progress() const {  // the texts and bar values shown
    Texts v;
    for (const auto& e : desktop_->progress())
      if (e.kind == e.kText || e.kind == e.kBar) v.push_back(e.kind == e.kBar ? std::to_string(e.value) : e.text);
    return v;
  }
  static std::string lastErrorReason() {  // empty when there is none
    TiXmlDocument doc;
    std::string reason;
    service::loadXmlFile(upload::lastErrorPath(), &doc);
    service::elementText(service::firstChild(service::firstChild(&doc, "lasterror"), "reason"), &reason);
    return reason;
  }
  static std::string cache(upload::CodeKind kind) { return readFileBytes(upload::cacheFilePath(kind)); }

  testsupport::TempDir dir_{true};
  std::shared_ptr<testsupport::ScriptedDesktop> desktop_;
  std::unique_ptr<app::AppState> state_;
};

// A file that fails leaves the batch going on: the bar moves on, its reason
// stays in data/lasterror.xml after a later success, and the codes of the others
// follow each other in the cache.
TEST_F(UploadBatchTest, EachFileGoesUpWithTheBatchFieldsAndOneThatFailsFailsAlone) {
  const auto coded = [](const std::string& name) {
    return http("200 OK", "<upload><thumburl>http://h/t" + name + "</thumburl><imageurl>http://h/" + name +
                              "</imageurl></upload>");
  };
  testsupport::LoopbackPeer peer;
  startScripted(peer, "http://" + peer.address() + "/up.php", {coded("a"), "", coded("c")});  // "": nothing was sent
  state_->thumbnailSize = 300;
  desktop_->answerNext(app::MessageAnswer::kYes);
  TestDrop drop(1, {image("a.png"), dir_.file("missing.png"), image("c.png")});
  const upload::BatchOutcome out = upload::uploadDroppedFiles(*state_, drop);
  EXPECT_EQ(out.end, End::kDone);
  EXPECT_EQ(drop.finished, 1);
  EXPECT_EQ(boxes(), (Texts{"Are you sure?: Upload 3 images to album\r\nHoliday?", "OOPS: Upload Failed"}));
  EXPECT_EQ(progress(), (Texts{"Preparing Uploads", "5", "Uploading file: a.png", "33", "Uploading file: missing.png",
                               "66", "Uploading file: c.png", "100"}));
  EXPECT_EQ(desktop_->openProgressViews(), 0);
  for (const char* field : {"name=\"user\"\r\n\r\ndemo\r\n", "name=\"aid\"\r\n\r\n11\r\n",
                            "name=\"type\"\r\n\r\nfile\r\n", "name=\"thumbsize\"\r\n\r\n300\r\n",
                            "name=\"image\"; filename=\"c.png\""}) {
    EXPECT_NE(peer.received(3).find(field), std::string::npos) << field;
  }
  ASSERT_EQ(out.files.size(), 3u);
  EXPECT_EQ(out.files[0].codes.html, "<a href=\"http://h/a\"><img src=\"http://h/ta\" border=0></a>");
  EXPECT_EQ(cache(upload::CodeKind::kHtml), out.files[0].codes.html + out.files[2].codes.html);
  EXPECT_EQ(cache(upload::CodeKind::kBbcode), out.files[0].codes.bbcode + out.files[2].codes.bbcode);
  EXPECT_EQ(out.files[1].error, "the upload did not go through: Failed to get file size information");
  EXPECT_EQ(lastErrorReason(), out.files[1].error) << "a later success leaves the batch's last failure";
  EXPECT_NE(readFileBytes(upload::lastErrorPath()).find("<BlockingUpload>"), std::string::npos);
}

// One file per reply: a reply either becomes the file's two codes or fails the
// file with its reason, appending nothing.
TEST_F(UploadBatchTest, EachReplyBecomesCodesOrFailsItsFileWithAReason) {
  const auto upload = [](const std::string& inside) { return http("200 OK", "<upload>" + inside + "</upload>"); };
  const auto addresses = [](const std::string& thumb, const std::string& image) {
    return "<thumburl>" + thumb + "</thumburl><imageurl>" + image + "</imageurl>";
  };
  const std::string badScheme = "the reply names an address that is neither http nor https: ";
  const struct {
    std::string reply;
    std::string error;  // the start of the file's reason; empty: the codes below are made
    std::string html = "", bbcode = "";
    const char* folder = nullptr;  // a file of the data folder that is a folder instead
  } cases[] = {
      // Entities decoded, markup kept out, either letter case.
      {upload(addresses("HTTP://h/t.jpg?a=1&amp;b=2\" onerror=\"x", "https://h/[/URL][URL=evil]&lt;script&gt;")),
       "",
       "<a href=\"https://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E\">"
       "<img src=\"HTTP://h/t.jpg?a=1&b=2%22%20onerror=%22x\" border=0></a>",
       "[URL=https://h/%5B/URL%5D%5BURL=evil%5D%3Cscript%3E][IMG]HTTP://h/t.jpg?a=1&b=2%22%20onerror=%22x[/IMG][/URL]"},
      {http("413 Request Entity Too Large", "<html>\r\n<head><title>413 Request Entity Too Large</title></head>\r\n"),
       "the server answered \"HTTP/1.1 413 Request Entity Too Large\": <html> <head><title>413 Request Entity Too "
       "Large</title></head>"},
      {http("500 Internal Server Error", "\r\n Database\tgone\x01 " + std::string(300, 'x')),
       "the server answered \"HTTP/1.1 500 Internal Server Error\": Database gone " + std::string(186, 'x') + "..."},
      {http("404 Not Found", ""), "the server answered \"HTTP/1.1 404 Not Found\""},
      {upload("<error>not an image</error>" + addresses("http://h/t", "http://h/i")),
       "the service refused the file: not an image"},
      {upload("<thumburl>http://h/t</thumburl>"), "the reply names no image address"},
      {http("200 OK", "<upload><thumburl>"), "the reply names no image address (it is not well-formed XML: "},
      {upload(addresses("http://h/t", "javaScript:alert(1)")), badScheme + "javaScript:alert(1)"},
      {upload(addresses("data:image/svg+xml,x", "http://h/i")), badScheme + "data:image/svg+xml,x"},
      {upload(addresses("http://h/t", "http://h/i")),
       "the reply could not be saved to " + app::dataPath(app::kUploadResponseFile) + ": Is a directory", "", "",
       app::kUploadResponseFile},
      // Codes made, but the BBCode file cannot take one: the HTML file does not keep its code either.
      {upload(addresses("http://h/t", "http://h/i")), "", "", "", app::kBbCodesFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    testsupport::LoopbackPeer peer;
    startScripted(peer, "http://" + peer.address() + "/up.php", {c.reply});
    state_->promptBeforeUpload = false;
    testsupport::writeFileBytes(upload::lastErrorPath(), "<lasterror><reason>earlier batch</reason></lasterror>");
    const std::string folder = c.folder ? app::dataPath(c.folder) : "";
    std::remove(app::dataPath(app::kUploadResponseFile).c_str());
    if (!folder.empty()) {
      std::remove(folder.c_str());
      ASSERT_TRUE(platform::createDirectory(folder));
    }
    TestDrop drop(1, {image("a.png")});
    const upload::BatchOutcome out = upload::uploadDroppedFiles(*state_, drop);
    ASSERT_EQ(out.files.size(), 1u);
    const upload::FileOutcome& f = out.files[0];
    EXPECT_EQ(f.error.substr(0, c.error.size()), c.error);
    EXPECT_EQ(f.linked, c.error.empty()) << f.error;
    EXPECT_EQ(f.cached, !c.html.empty());
    EXPECT_EQ(f.uploaded, c.reply.compare(0, 10, "HTTP/1.1 2") == 0);
    EXPECT_EQ(lastErrorReason(), f.error);
    EXPECT_EQ(boxes(), c.error.empty() ? Texts{} : Texts{"OOPS: Upload Failed"});
    EXPECT_EQ(cache(upload::CodeKind::kHtml), c.html);
    EXPECT_EQ(cache(upload::CodeKind::kBbcode), c.bbcode);
    EXPECT_TRUE(peer.waitDone(5000));
    if (!folder.empty()) std::remove(folder.c_str());
  }
}

// A batch that cannot start says why and sends nothing.
TEST_F(UploadBatchTest, ABatchThatCannotStartSaysWhyAndSendsNothing) {
  const struct {
    std::string address;  // named for uploads; empty: no service listens
    int album;
    End end;
    Texts boxes;  // the start of each box
  } rows[] = {
      {"http://127.0.0.1:1/u", -1, End::kNoAlbum, {"Upload aborted: The files were not dropped on an album"}},
      {"", 0, End::kNoUploadAddress,
       {"Network Error: Connection to Kestrova failed.", "Upload aborted: The uploader failed to retrieve a valid"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.address);
    testsupport::LoopbackPeer peer;
    startScripted(peer, row.address, {""});
    if (row.address.empty()) state_->service.port = testsupport::closedLoopbackPort();
    state_->promptBeforeUpload = false;
    TestDrop drop(row.album, {image("a.png")});
    EXPECT_EQ(upload::uploadDroppedFiles(*state_, drop).end, row.end);
    Texts shown = boxes();
    for (size_t i = 0; i < shown.size() && i < row.boxes.size(); ++i) shown[i].resize(row.boxes[i].size());
    EXPECT_EQ(shown, row.boxes);
    EXPECT_EQ(drop.finished, 1);
    EXPECT_EQ(desktop_->openProgressViews(), 0);
    // A batch that sent a file would have returned only after the peer closed.
    for (int i = 0; i < peer.connectionsAccepted(); ++i) EXPECT_EQ(peer.received(size_t(i)).find("POST"), std::string::npos);
  }
}

}  // namespace
