// The service exchange under hostile and unusual servers and a damaged data
// folder: every step ends by the reply's framing or a limit, saves only the
// reply's own bytes, takes from it only what it names, and fails alone, keeping
// what an earlier step found.
#include "service/fetcher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "service/service_fixture.h"
#include "service/sign_in_file.h"

namespace {

using testsupport::httpReply;
using testsupport::Step;
using testsupport::Texts;

// `root` holding `first`, then elements nested `depth` levels deep.
std::string nested(const std::string& root, int depth, const std::string& first = "") {
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<a>", close += "</a>";
  return "<" + root + ">" + first + open + close + "</" + root + ">";
}

class FetcherTest : public testsupport::ServiceTest {};

TEST_F(FetcherTest, RepliesEndByTheirFramingOrALimitAndFailOnlyTheirOwnStep) {
  enum End { kClose, kStall, kReset };  // the server's end after the reply
  app::FetchLimits normal, idle300, cap2500, overall400;
  idle300.idleTimeoutMs = 300;
  cap2500.maxReplyBytes = 2500;
  overall400.overallTimeoutMs = 400;
  struct Row {
    const char* name;
    Step step;
    std::string reply;
    End end;
    bool ok;
    std::string message, saved;  // the one box shown (or none), the reply file afterwards
    uint32_t minMs, maxMs;
    app::FetchLimits limits = {};
    size_t piece = 0;  // 0: one send
    uint32_t pauseMs = 0;
  };
  const std::string address = "<uploadform>http://up.invalid/u.php</uploadform>", tail = "\r\n0\r\n\r\n";
  std::string items;  // 39 bytes each
  for (int i = 0; i < 130; ++i) items += "<item>abcdefghijklmnopqrstuvwxyz</item>";
  const std::string small = "<getserver>" + address + items.substr(0, 78) + "</getserver>";  // 149 bytes
  const std::string large = "<getserver>" + address + items + "</getserver>";
  const std::string deepUser = nested("userdata", 50000), deepServer = nested("getserver", 50000, address);
  const std::string roomy = nested("getserver", 200, address);
  const std::string ok = "HTTP/1.1 200 OK\r\n", unframed = ok + "Content-Type: text/xml\r\n\r\n";
  const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n95\r\n" + small + tail;  // 0x95 = 149
  const std::string flood = unframed + small + std::string(20000, 'x');
  const std::string badUser = "Setup Error: Error opening user XML";
  const std::string badServer = "Setup Error: Error opening server XML";
  const std::string noAddress = "Setup Error: Cannot find root node in server XML";
  const auto version = [](const std::string& v) {
    return "<appinfo><current_version>" + v + "</current_version></appinfo>";
  };
  const std::string same = service::kClientVersion;
  const std::string news = "Newer Version Available: There is a newer version available.\r\n\r\nPlease visit "
                           "127.0.0.1 to download the most recent version of this application.";
  const Row rows[] = {
      // No length and no chunks: the close ends it, so every piece must be kept.
      {"many small pieces", Step::kLookUp, unframed + small, kClose, true, "", small, 0, 5000, normal, 7, 1},
      {"unframed, longer than a receive buffer", Step::kLookUp, unframed + large, kClose, true, "", large, 0, 2000},
      // A keep-alive server never closes: only the reply's own framing ends it.
      {"keep-alive, Content-Length", Step::kLookUp, httpReply(small), kStall, true, "", small, 0, 1000, normal, 13},
      {"keep-alive, chunked", Step::kLookUp, chunked, kStall, true, "", small + tail, 0, 1000, normal, 13},
      {"bare line feeds, any case, blanks", Step::kLookUp, "HTTP/1.1 200 OK\ncontent-LENGTH:  149 \n\n" + small,
       kStall, true, "", small, 0, 1000},
      {"chunk extension, upper-case size, trailer, the last coding counts", Step::kLookUp,
       ok + "Transfer-Encoding: gzip, Chunked\r\n\r\n95;x=y\r\n" + small + "\r\n0\r\nX-T: 1\r\n\r\n", kStall, true, "",
       small + "\r\n0\r\nX-T: 1\r\n\r\n", 0, 1000},
      {"chunks win over a length", Step::kLookUp, ok + "Content-Length: 3\r\n" + chunked.substr(ok.size()), kStall,
       true, "", small + tail, 0, 1000},
      {"an interim reply first", Step::kLookUp, "HTTP/1.1 100 Continue\r\n\r\n" + httpReply(small), kStall, true, "",
       small, 0, 1000},
      {"no body", Step::kLookUp, "HTTP/1.1 204 No Content\r\n\r\n", kStall, false, badServer, "", 0, 1000},
      // A reply that cannot be followed ends only when the server is silent.
      {"unframed from a silent server", Step::kLookUp, unframed + small, kStall, true, "", small, 290, 2000, idle300},
      {"malformed length", Step::kLookUp, ok + "Content-Length: 4x\r\n\r\n" + small, kStall, true, "", small, 290,
       2000, idle300},
      {"a chunk size as scanf would read it", Step::kLookUp,
       ok + "Transfer-Encoding: chunked\r\n\r\n0x95\r\n" + small + tail, kStall, true, "", small + tail, 290, 2000,
       idle300},
      {"two lengths", Step::kLookUp, ok + "Content-Length: 4\r\nContent-Length: 149\r\n\r\n" + small, kStall, true,
       "", small, 290, 2000, idle300},
      {"beyond the cap", Step::kLookUp, flood, kStall, true, "", flood.substr(unframed.size(), 2500 - unframed.size()),
       0, 2000, cap2500},
      {"reset after part of the reply", Step::kLookUp, ok + "Content-Length: 500\r\n\r\n<getserver>", kReset, false,
       badServer, "<getserver>", 0, 2000},
      // Bytes after the framed end are not the reply's, however TCP cut them.
      {"Content-Length short of the document", Step::kLookUp, ok + "Content-Length: 30\r\n\r\n" + small, kStall,
       false, badServer, small.substr(0, 30), 0, 1000},
      {"bytes after the last chunk", Step::kLookUp, chunked + "<junk", kStall, true, "", small + tail, 0, 1000},
      // Nesting that would overflow the parser's stack fails as a broken reply.
      {"deep account data", Step::kSignIn, httpReply(deepUser), kClose, false, badUser, deepUser, 0, 3000},
      {"deep server reply", Step::kLookUp, httpReply(deepServer), kClose, false, badServer, deepServer, 0, 3000},
      {"nesting well within the limit", Step::kLookUp, httpReply(roomy), kClose, true, "", roomy, 0, 2000},
      // The upload address is the text of uploadform, taken from nowhere else.
      {"no address", Step::kLookUp, httpReply("<getserver><upload>http://x.invalid/</upload></getserver>"), kClose,
       false, noAddress, "<getserver><upload>http://x.invalid/</upload></getserver>", 0, 2000},
      {"no address text", Step::kLookUp, httpReply("<getserver><uploadform><b>x</b></uploadform></getserver>"),
       kClose, false, "Setup Error: Body of uploadform node is empty!",
       "<getserver><uploadform><b>x</b></uploadform></getserver>", 0, 2000},
      {"an error page", Step::kLookUp, httpReply("<html><p>Gone</p></html>", "404 Not Found"), kClose, false,
       noAddress, "<html><p>Gone</p></html>", 0, 2000},
      // Any difference at all is news; a reply without a version ends the check silently.
      {"the same version", Step::kVersion, httpReply(version(same)), kClose, true, "", version(same), 0, 2000},
      {"one more digit", Step::kVersion, httpReply(version(same + "0")), kClose, true, news, version(same + "0"), 0,
       2000},
      {"an earlier version", Step::kVersion, httpReply(version("0.1")), kClose, true, news, version("0.1"), 0, 2000},
      {"no version", Step::kVersion, httpReply("<appinfo><current/></appinfo>"), kClose, false, "",
       "<appinfo><current/></appinfo>", 0, 2000},
      // A byte now and then must not hold the sign-in beyond the overall limit;
      // a reply that a limit cut off says so.
      {"dripping reply", Step::kSignIn, unframed + nested("userdata", 1), kStall, false,
       badUser + "\r\n\r\nThe service's reply did not end within 400 ms, the time limit of a request.", "", 390, 2000,
       overall400, 1, 50},
      {"account data beyond the cap", Step::kSignIn, unframed + nested("userdata", 1, items), kStall, false,
       badUser + "\r\n\r\nThe service's reply was cut off at 2500 bytes, the size limit of a request.",
       nested("userdata", 1, items).substr(0, 2500 - unframed.size()), 0, 2000, cap2500},
      {"silent before its length", Step::kLookUp, ok + "Content-Length: 149\r\n\r\n" + small.substr(0, 99), kStall,
       false, badServer + "\r\n\r\nThe service sent nothing for 300 ms, and its reply ended there.",
       small.substr(0, 99), 290, 2000, idle300},
  };
  const std::string requests[] = {"GET /getuserdataxml.php?user=alice&hashed_password=5ebe2294ecd0e0f08eab7690d2a6ee69",
                                  "GET /getserverxml.php", "GET /versioncheckxml.php?application=flingpost"};
  const char* const files[] = {"data/userdata.xml", "data/serverdata.xml", "data/versiondata.xml"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::LoopbackPeer peer;
    peer.receiveUntil("\n\n");
    row.piece ? peer.sendPieces(row.reply, row.piece, row.pauseMs) : peer.send(row.reply);
    row.end == kClose ? peer.close() : row.end == kStall ? peer.stall() : peer.pause(50).reset();
    peer.start();
    useService(peer.port());
    state_->service.limits = row.limits;
    state_->uploadUrl = "earlier";
    const uint32_t start = platform::tickCount();
    EXPECT_EQ(run(row.step), row.ok);
    EXPECT_EQ(state_->uploadUrl, row.ok && row.step == Step::kLookUp ? "http://up.invalid/u.php" : "earlier");
    EXPECT_GE(platform::tickCount() - start, row.minMs);
    EXPECT_LT(platform::tickCount() - start, row.maxMs);
    EXPECT_EQ(newBoxes(), one(row.message));
    EXPECT_EQ(testsupport::readFileBytes(files[int(row.step)]), row.saved);
    peer.waitDone(1000);
    EXPECT_EQ(peer.received(), requests[int(row.step)] + " HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  }
}

// Whatever the step, a connection that fails shows its one network message, in
// time, and changes nothing.
TEST_F(FetcherTest, AFailedConnectionShowsOneNetworkMessageAndChangesNothing) {
  testsupport::UnansweringListener unanswering;
  const std::string refused = "Network Error: Connection to Kestrova failed.\r\n\r\nCheck your Internet connection "
                              "and try again.";
  state_->signedIn = true;
  state_->uploadUrl = "earlier";
  desktop_->albums().addAlbum("9", std::make_unique<app::Album>(9, "Old", ""));
  state_->service.limits.connectTimeoutMs = 300;
  // Refused, no host name to look up, and unanswered (failed at its time limit).
  const char* const hosts[] = {"127.0.0.1", "", "127.0.0.1"};
  const uint16_t ports[] = {testsupport::closedLoopbackPort(), 80, unanswering.port()};
  const std::string messages[] = {refused, "Network Error: DNS Lookup Failed.  Can't verify version.", refused};
  for (int kind = 0; kind < (unanswering.ready() ? 3 : 2); ++kind) {  // some systems refuse a full queue
    for (Step step : {Step::kSignIn, Step::kLookUp, Step::kVersion}) {
      SCOPED_TRACE(std::to_string(kind) + " step " + std::to_string(int(step)));
      state_->service.host = hosts[kind];
      state_->service.port = ports[kind];
      const uint32_t start = platform::tickCount();
      EXPECT_FALSE(run(step));
      EXPECT_GE(platform::tickCount() - start, kind == 2 ? 290u : 0u);
      EXPECT_LT(platform::tickCount() - start, 2000u);
      EXPECT_EQ(newBoxes(), Texts{messages[kind]});
      EXPECT_TRUE(state_->signedIn);
      EXPECT_EQ(desktop_->albums().describe(), Texts{"9:9:Old:"});
      EXPECT_EQ(state_->uploadUrl, "earlier");
      EXPECT_EQ(desktop_->openProgressViews(), 0);
    }
  }
}

// A damaged data folder: a folder where a reply's file should be, or a read-only
// file that still holds an earlier run's good reply. Each step must fail as with
// a broken reply, and never read what an earlier run left.
TEST_F(FetcherTest, AStepWhoseFileCannotBeReplacedFailsWithoutReadingTheOldOne) {
  // What the earlier run left would sign in, name an address, find no news.
  const std::string earlier[] = {"<userdata><validated/><usergroup>g</usergroup></userdata>",
                                 "<getserver><uploadform>http://earlier.invalid/</uploadform></getserver>",
                                 std::string("<appinfo><current_version>") + service::kClientVersion +
                                     "</current_version></appinfo>",
                                 ""};
  const char* const files[] = {"userdata.xml", "serverdata.xml", "versiondata.xml", "logininfo.xml"};
  const std::string messages[] = {"Setup Error: Error opening user XML", "Setup Error: Error opening server XML", "",
                                  "Setup Error: Cannot open the saved sign-in file data/logininfo.xml: it cannot be "
                                  "read"};
  const std::string reply = testsupport::httpReply("<userdata><validated status=\"false\"/><usergroup>g</usergroup>"
                                                   "</userdata><getserver/><appinfo/>");
  chmod(dir_.path().c_str(), 0755);  // open to nobody, see below
  for (int step = 0; step < 4; ++step) {
    for (bool folder : {true, false}) {
      if (step == 3 && !folder) continue;  // a read-only saved sign-in is still a good one
      const std::string path = std::string("data/") + files[step];
      SCOPED_TRACE(path + (folder ? " as a folder" : " read-only"));
      std::filesystem::remove_all(path);
      folder ? (void)std::filesystem::create_directory(path) : testsupport::writeFileBytes(path, earlier[step]);
      chmod(path.c_str(), 0555);
      // Permissions do not bind root, so a run as root is nobody meanwhile.
      const bool asRoot = geteuid() == 0;
      EXPECT_EQ(asRoot ? seteuid(65534) : 0, 0);
      const bool ok = step == 3 ? service::loadSignInFile(*state_) : answer(testsupport::Step(step), reply);
      EXPECT_EQ(asRoot ? seteuid(0) : 0, 0);
      chmod(path.c_str(), 0755);
      EXPECT_FALSE(ok);
      EXPECT_FALSE(state_->signedIn);
      EXPECT_EQ(state_->uploadUrl, "");
      EXPECT_EQ(newBoxes(messages[step].size()), one(messages[step]));
    }
  }
}

}  // namespace
