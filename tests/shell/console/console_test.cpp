// The console front-end as its users run it: the built program against the
// local service stand-in, or a scripted loopback peer in its place, in a
// working folder of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

using testsupport::readFileBytes;
using testsupport::shellQuote;
using testsupport::writeFileBytes;

struct Result {
  int status = -1;
  std::string out, err;
  double seconds = 0;
};

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string httpOk(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!service_.running()) GTEST_SKIP() << "the local service stand-in needs php";
    const std::string cmd = "php -r '$i=imagecreatetruecolor(40,30);imagepng($i,\"" + work_.file("pic.png") + "\");'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // Runs flingpost in the working folder with `args` (which may add shell
  // redirections), `input` on its standard input, under `limit`.
  Result run(const std::string& args, const std::string& input = "", const std::string& service = "",
             const std::string& limit = "timeout 60") {
    const std::string cmd = "cd " + shellQuote(work_.path()) + " && printf %s " + shellQuote(input) +
                            " | KESTROVA_SERVICE=" + shellQuote(service.empty() ? service_.address() : service) + " " +
                            limit + " " + shellQuote(FP_FLINGPOST_BIN) + " >out.txt 2>err.txt " + args;
    Result r;
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = readFileBytes(work_.file("out.txt"));
    r.err = readFileBytes(work_.file("err.txt"));
    return r;
  }
  bool parsesAsJson(const std::string& text) {
    writeFileBytes(work_.file("parse.json"), text);
    const std::string cmd = "php -r 'exit(json_decode(file_get_contents($argv[1])) === null ? 1 : 0);' " +
                            shellQuote(work_.file("parse.json"));
    return std::system(cmd.c_str()) == 0;
  }
  void remember() { ASSERT_EQ(run("login -q --user demo --password-stdin --remember", "demo\n").status, 0); }
  std::string data(const std::string& name) const { return readFileBytes(work_.file("data/" + name)); }
  std::string pic() const { return shellQuote(work_.file("pic.png")); }

  testsupport::DevService service_;
  testsupport::TempDir work_;
};

TEST_F(ConsoleTest, CommandsThatCannotUploadSayWhyAndExitTwoForUsageAndOneForFailures) {
  // Account data of 10.5 MB, cut at the client's 8 MiB, for both runs of its row.
  testsupport::LoopbackPeer huge;
  const std::string account = httpOk("<userdata>" + std::string(21 << 19, 'x') + "</userdata>");
  huge.receiveUntil("\n\n").send(account).close().nextConnection().receiveUntil("\n\n").send(account).close();
  huge.start();
  const struct {
    std::string args, input, service;
    int status;
    std::string says;
  } cases[] = {
      {"login -q --user demo --password-stdin", "demo\n", huge.address(), 1,
       "Setup Error: Error opening user XML\n\nThe service's reply was cut off at 8 MiB, the size limit of a request."},
      {"upload --album 11", "", "", 2, "needs at least one FILE"},
      {"login", "", "", 2, "login needs --user"},
      {"login --user demo --password secret", "", "", 2, "never taken from the command line"},
      {"upload --album 11 --yes --thumb 250 " + pic(), "", "", 2, "--thumb takes 100, 200, 300 or 400"},
      {"upload --album 11 --yes --timeout=0 " + pic(), "", "", 2, "--timeout takes whole seconds"},
      {"frobnicate", "", "", 2, "unknown command frobnicate"},
      {"albums --album 11", "", "", 2, "--album is an option of upload"},
      {"albums --jsn", "", "", 2, "unknown option --jsn"},
      {"upload --album 11 " + pic(), "", "", 2, "pass --yes"},  // nobody could answer the question
      {"upload --album 11 --yes --user demo --password-stdin --files-from - " + pic(), "", "", 2,
       "both the password and the list"},
      {"login --user demo --password-stdin", "wrong\n", "", 1,
       "Login Error: Login failed.\n\nCheck username and password and try again."},
      {"login --user demo --password-stdin", "demo\n", "127.0.0.1:1", 1,
       "Network Error: Connection to Kestrova failed."},
      {"albums", "", "", 1, "not signed in"},
  };
  for (const auto& c : cases) {
    for (const std::string json : {"", " --json"}) {
      const Result r = run(c.args + json, c.input, c.service);
      EXPECT_EQ(r.status, c.status) << c.args << json;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
      if (c.status == 2) {  // what is wrong and where to look, on at most three lines
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find("Try 'flingpost --help'.\n"), std::string::npos) << c.args;
        EXPECT_LE(count(r.err, "\n"), 3u) << c.args << "\n" << r.err;
      } else if (json.empty()) {
        EXPECT_EQ(r.out, "") << c.args;
      } else {  // the reason as a JSON object on standard output too
        EXPECT_EQ(r.out.rfind("{\"error\":", 0), 0u) << r.out;
        EXPECT_TRUE(parsesAsJson(r.out)) << r.out;
      }
    }
  }
  // Every file is checked before the service is asked anything.
  const Result r = run("upload --album 11 --yes " + pic() + " gone.png " + shellQuote(work_.path()) + " -- -dash.png");
  EXPECT_EQ(r.status, 2);
  for (const std::string& bad : {std::string("gone.png: No such file"), work_.path() + ": not a readable regular file",
                                 std::string("-dash.png: No such file")}) {
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
  }
  remember();
  EXPECT_NE(run("upload --album 99 --yes " + pic()).err.find("no album has the key 99"), std::string::npos);
  EXPECT_TRUE(service_.uploadLog().empty());
}

// A scripted service answers the saved sign-in.
TEST_F(ConsoleTest, AlbumLinesStayOneLineAndAFailedSignInPrintsNoAlbums) {
  remember();
  const std::string head = "<userdata><validated status=\"true\"/><usergroup>m</usergroup>";
  const std::string tabbed =
      "<album><id>5</id><album_name>a&#9;b</album_name>"
      "<album_description>x&#10;y&#13;z</album_description></album>";
  const struct {
    std::string body, args;
    int status;
    std::string out;
  } cases[] = {
      {head + tabbed + "</userdata>", "albums -q", 0, "0\tPrivate\tPrivate Folder\n5\ta b\tx y z\n"},
      {head + tabbed + "</userdata>", "albums -q --json", 0,
       "{\"albums\":[{\"key\":\"0\",\"id\":0,\"name\":\"Private\",\"description\":\"Private Folder\"},"
       "{\"key\":\"5\",\"id\":5,\"name\":\"a\\tb\",\"description\":\"x\\ny\\rz\"}]}\n"},
      {head + tabbed + "<album><id>6</id></album></userdata>", "albums -q", 1, ""},
      // A UTF-8 document whose lead byte comes before a NUL at the end: the
      // parser's step over the sequence must not leave the text.
      {"<?xml version=\"1.0\"?>" + head + "<album><id>5</id><album_name>a\xeb" + std::string(1, '\0'), "albums -q",
       1, ""},
      {"<userdata><validated status=\"false\"/></userdata>", "albums -q", 1, ""},
  };
  for (const auto& c : cases) {
    testsupport::LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(httpOk(c.body)).close();
    peer.start();
    const Result r = run(c.args, "", peer.address());
    EXPECT_EQ(r.status, c.status) << c.body << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.body;
  }
}

TEST_F(ConsoleTest, UploadPrintsHtmlThenBbcodesAndSendsTheChosenFields) {
  writeFileBytes(work_.file("list.txt"), work_.file("pic.png") + "\r\n\n");
  // A name that begins like an option and is not UTF-8 (legal on Linux).
  writeFileBytes(work_.file("-dash\xff.png"), readFileBytes(work_.file("pic.png")));
  const Result r = run(
      "upload --album 12 --user demo --password-stdin --thumb 400 --yes --files-from list.txt -- -dash\xff.png",
      "demo\n");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = linesOf(r.out);
  ASSERT_EQ(lines.size(), 5u) << r.out;
  // The files named on the command line go first, then those of the list.
  EXPECT_EQ(lines[0].rfind("<a href=\"http://127.0.0.1:", 0), 0u) << r.out;
  EXPECT_NE(lines[0].find("-dash"), std::string::npos) << r.out;
  EXPECT_NE(lines[1].find("-pic.png\"><img"), std::string::npos) << r.out;
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3].rfind("[URL=http://", 0), 0u);
  EXPECT_NE(lines[4].find("[/IMG][/URL]"), std::string::npos);
  EXPECT_NE(r.err.find("Are you sure?: Upload 2 images to album\nCats & Dogs? yes"), std::string::npos);
  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(testsupport::jsonField(log[0], "aid"), "12");
  EXPECT_EQ(testsupport::jsonField(log[0], "thumbsize"), "400");
  // The cache holds the same codes, back to back.
  EXPECT_EQ(data("htmlcodes.txt"), lines[0] + lines[1]);
  EXPECT_EQ(data("bbcodes.txt"), lines[3] + lines[4]);
}

// Each failed file is named on standard error with its reason and in --json;
// codes come from a whole reply only. A scripted peer is the upload server of
// every row but the first, one connection per row.
TEST_F(ConsoleTest, EachFileThatFailsIsNamedWithItsReasonAndCodesComeFromWholeRepliesOnly) {
  remember();
  const std::string doc = "<upload><thumburl>http://t/1.jpg</thumburl><imageurl>http://i/1.jpg</imageurl></upload>";
  const std::string code = "<a href=\"http://i/1.jpg\"><img src=\"http://t/1.jpg\" border=0></a>";
  const std::string notImage = work_.file("bad\xff name.txt");
  writeFileBytes(notImage, "no image");
  writeFileBytes(work_.file("big.jpg"), std::string(16 * 1024 * 1024, 'b'));
  const std::string pic = work_.file("pic.png"), big = work_.file("big.jpg");
  char chunk[16];
  std::snprintf(chunk, sizeof chunk, "%zx\r\n", doc.size());
  const std::string interrupt = "timeout --preserve-status -s INT 3";
  // 142 bytes, the last of them the lead byte of a three-byte sequence.
  const std::string cutShort = "<?xml version=\"1.0\"?>\n<upload><thumburl>http://t/1.jpg</thumburl><imageurl>" +
                               std::string(66, 'i') + "\xeb";
  const struct {
    const char* name;
    std::vector<std::string> files;
    std::string options, limit;
    std::vector<std::string> replies;  // 300 ms apart; "" stalls
    int status;
    size_t failed, notTried;
    std::string lastError;  // what data/lasterror.xml holds when a file failed
  } cases[] = {
      {"a name that is not UTF-8", {pic, notImage}, "", "timeout 60", {}, 3, 1, 0, "<file>" + notImage},
      {"no byte moves for --timeout", {pic}, "--timeout 1 --verbose", "timeout 60", {""}, 3, 1, 0,
       "Failed to receive until double-CRLF"},
      {"Ctrl-C before the reply", {pic, pic, pic}, "", interrupt, {""}, 130, 3, 2, "Aborted by application"},
      {"no framing, in two writes", {pic}, "", "timeout 60",
       {"HTTP/1.0 200 OK\r\n\r\n" + doc.substr(0, 40), doc.substr(40)}, 0, 0, 0, ""},
      {"no reason phrase", {pic}, "", "timeout 60",
       {"HTTP/1.1 200\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(chunk) + doc + "\r\n0\r\n\r\n"}, 0, 0, 0,
       ""},
      {"Ctrl-C while the body is read", {pic}, "", interrupt,
       {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + doc.substr(0, 60), ""}, 130, 1, 0,
       "Aborted by application"},
      {"a reply that ends in a cut UTF-8 sequence", {pic}, "", "timeout 60", {httpOk(cutShort)}, 3, 1, 0,
       "not well-formed XML"},
      {"413 before the request is whole", {big}, "", "timeout 60",
       {"HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 9\r\nConnection: close\r\n\r\ntoo large"}, 3, 1, 0,
       "HTTP/1.1 413 Request Entity Too Large"},
  };
  testsupport::LoopbackPeer peer;
  bool first = true;
  for (const auto& c : cases) {
    if (c.replies.empty()) continue;
    if (!std::exchange(first, false)) peer.nextConnection();
    if (c.files[0] == big) {
      peer.receiveUntil("\r\n\r\n", 20000).reading(false);  // answers early and reads no more
    } else {
      peer.receiveUntil("--\r\n", 20000);
    }
    for (const std::string& reply : c.replies) {
      if (&reply != &c.replies[0]) peer.pause(300);
      reply.empty() ? peer.stall(20000) : peer.send(reply);
    }
    peer.close();
  }
  peer.nextConnection().receiveUntil("--\r\n", 20000).stall(20000);  // for the terminal, below
  peer.start(20000);
  testsupport::DevService viaPeer({{"DEVSERVICE_UPLOAD_URL", "http://" + peer.address() + "/upload.php"}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string args = "upload --album 11 --yes --json " + c.options;
    for (const auto& f : c.files) args += " " + shellQuote(f);
    const Result r = run(args, "", c.replies.empty() ? "" : viaPeer.address(), c.limit);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(parsesAsJson(r.out)) << r.out;
    EXPECT_EQ(count(r.out, "\"ok\":true"), c.files.size() - c.failed) << r.out;
    EXPECT_EQ(count(r.out, "\"ok\":false,\"html\":null,\"bbcode\":null,\"error\":\""), c.failed) << r.out;
    EXPECT_EQ(count(r.out, "not tried"), c.notTried) << r.out;
    size_t lines = 0;  // one line on standard error for each failed file: its name and why
    for (const auto& f : std::set<std::string>(c.files.begin(), c.files.end()))
      lines += count(r.err, "flingpost: " + f + ": ");
    EXPECT_EQ(lines, c.failed) << r.err;
    EXPECT_EQ(count(data("htmlcodes.txt"), "<a href="), c.files.size() - c.failed);
    if (c.failed) {
      EXPECT_NE(data("lasterror.xml").find(c.lastError), std::string::npos) << data("lasterror.xml");
    } else {
      EXPECT_EQ(data("htmlcodes.txt"), code);
    }
  }
  // On a terminal the bar is cleared before a message, not run into it.
  if (std::system("command -v script >/dev/null") != 0) return;
  const std::string cmd = "cd " + shellQuote(work_.path()) + " && KESTROVA_SERVICE=" + viaPeer.address() +
                          " timeout 60 script -qec " +
                          shellQuote(std::string(FP_FLINGPOST_BIN) + " upload --album 11 --yes --timeout 1 pic.png") +
                          " /dev/null >screen.txt";
  EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 3);
  const std::string screen = readFileBytes(work_.file("screen.txt"));
  EXPECT_NE(screen.find("% pic.png"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\x1b[KOOPS: Upload Failed"), std::string::npos) << screen;
}

// The upload address that the service names goes into each request's first
// lines: a web address goes out byte for byte (what a path may carry only
// encoded, encoded); anything else sends nothing and says why. A scripted peer
// is the whole service, "PEER" its address.
TEST_F(ConsoleTest, UploadAddressesGoOutAsNamedOrAreRefusedWithTheirReason) {
  remember();
  const std::string account = "<userdata><validated/><usergroup>g</usergroup><album><id>11</id><album_name>A"
                              "</album_name><album_description/></album></userdata>";
  const std::string codes = "<upload><thumburl>http://t/1</thumburl><imageurl>http://i/1</imageurl></upload>";
  const struct {
    std::string address;  // as the reply's XML has it
    std::string sent;     // the request's first two lines; empty: refused, for `reason`
    std::string reason = "";
  } rows[] = {
      {"http://PEER/up.php?a=1&amp;b=%41#f", "POST /up.php?a=1&b=%41#f HTTP/1.1\r\nHost: 127.0.0.1\r\n"},
      {"HTTP://PEER/a b/%zz|x.php", "POST /a%20b/%25zz%7Cx.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"},
      {"http://PEER/up&#10;Host: evil", "", "its path holds a control character (byte 0x0A)"},
      {"ftp://PEER/up", "", "it does not begin with http:// or https://"},
      {"//PEER/up", "", "it does not begin with http:// or https://"},
      {"http://user@PEER/up", "", "its host is not a host name"},
      {"http://PEER", "", "it names no path after the host"},
      {"http://127.0.0.1:0/up", "", "its port is not a number from 1 to 65535"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.address);
    testsupport::LoopbackPeer peer;
    std::string address = row.address;
    if (address.find("PEER") != std::string::npos) address.replace(address.find("PEER"), 4, peer.address());
    peer.receiveUntil("\n\n").send(httpOk(account)).close();
    peer.nextConnection().receiveUntil("\n\n");
    peer.send(httpOk("<getserver><uploadform>" + address + "</uploadform></getserver>")).close();
    if (!row.sent.empty()) peer.nextConnection().receiveUntil("--\r\n").send(httpOk(codes)).close();
    peer.start();
    const Result r = run("upload -q --album 11 --yes " + pic(), "", peer.address());  // -q: no version check
    peer.waitDone(5000);
    EXPECT_EQ(r.status, row.sent.empty() ? 1 : 0) << r.err;
    EXPECT_EQ(peer.connectionsAccepted(), row.sent.empty() ? 2 : 3);
    if (row.sent.empty()) {
      EXPECT_NE(r.err.find("Upload aborted: The upload address named by Kestrova is not usable: " + row.reason + ".\n"),
                std::string::npos)
          << r.err;
    } else {
      EXPECT_EQ(peer.received(2).substr(0, row.sent.size()), row.sent);
    }
  }
}

TEST_F(ConsoleTest, SavedSignInServesLaterCommandsQuicklyAndQuietlyAndUnwrittenResultsFail) {
  remember();
  const Result r = run("albums");
  EXPECT_EQ(r.status, 0) << r.err;
  // Nobody watches a one-shot command: no pauses (0.3 s and 0.1 s) for a progress window.
  EXPECT_LT(r.seconds, 0.3);
  const Result q = run("upload --album 13 --yes -q " + pic());
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.err, "");  // results and errors only
  EXPECT_NE(q.out.find("[URL="), std::string::npos);
  for (const std::string& args : {std::string("albums"), "upload --album 13 --yes -q " + pic()}) {
    const Result full = run(args + " >/dev/full");
    EXPECT_EQ(full.status, 1) << args;
    EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos) << full.err;
  }
}

TEST_F(ConsoleTest, OneShotCommandsShowTheVersionNoticeOnceADay) {
  testsupport::DevService newer(std::map<std::string, std::string>{{"DEVSERVICE_VERSION", "0.3"}});
  const struct {
    std::string args;
    bool aged;  // the last check is made a day old first
    bool shown;
  } steps[] = {
      {"login --user demo --password-stdin --remember", false, true},
      {"albums", false, false},
      {"albums -q", true, false},  // quiet: no check at all
      {"albums", false, true},
      {"albums", false, false},
  };
  for (const auto& step : steps) {
    if (step.aged) writeFileBytes(work_.file("data/versioncheck.txt"), "0\n");
    const Result r = run(step.args, "demo\n", newer.address());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "Newer Version Available"), step.shown ? 1u : 0u) << step.args << "\n" << r.err;
  }
}

TEST_F(ConsoleTest, InteractiveSessionMirrorsTheMenu) {
  writeFileBytes(work_.file("two words.png"), readFileBytes(work_.file("pic.png")));
  const std::string script =
      "login\ndemo\ndemo\nn\n"                       // File, Login (not remembered)
      "prompt off\nthumb 999\nthumb 100\n"           // Options
      "drop 11 'two words.png' \"two words.png\"\n"  // albums by key, names quoted
      "html\nbbcode\n"
      "clear\nhtml\n"       // no answer line: taken as no, html kept
      "clear\ny\nbbcode\n"  // agreed: codes gone
      "open 11\nabout";     // the end of input ends the session
  const Result r = run("", script);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(testsupport::jsonField(log[1], "thumbsize"), "100");
  EXPECT_EQ(testsupport::jsonField(log[1], "aid"), "11");
  EXPECT_EQ(testsupport::jsonField(log[1], "filename"), "two words.png");
  // The viewer shows one code per line; the declined clear kept them.
  const std::vector<std::string> lines = linesOf(r.out);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  for (size_t i : {0, 1, 4, 5}) EXPECT_EQ(lines[i].rfind("<a href=", 0), 0u) << i;
  for (size_t i : {2, 3}) EXPECT_EQ(lines[i].rfind("[URL=", 0), 0u) << i;
  EXPECT_EQ(lines[4] + lines[5], lines[0] + lines[1]);
  EXPECT_EQ(lines[6], "http://" + service_.address() + "/members/demo/view.php?aid=11");
  EXPECT_EQ(data("bbcodes.txt"), "");
  EXPECT_NE(r.err.find("thumb takes 100, 200, 300 or 400."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("About Kestrova Flingpost: "), std::string::npos) << "the last line, without a line end, ran";
  EXPECT_EQ(r.err.find("Are you sure?: Upload"), std::string::npos);  // prompt was off
  EXPECT_EQ(r.err.substr(r.err.size() - 3), "> \n");                  // the shell's prompt starts on a new line
}

// The options a text names: each "--word", and each "-x" after a blank or "[".
std::set<std::string> optionsIn(std::string text) {
  for (size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at)) text.erase(at, 1);
  std::set<std::string> found;
  const std::regex option("(^|[\\s\\[\"])(--?[a-z][a-z-]*)");
  for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i) found.insert((*i)[2]);
  return found;
}

TEST_F(ConsoleTest, HelpManualPageAndCompletionKnowTheSameOptions) {
  const std::string dir = std::string(FP_SOURCE_DIR) + "/src/shell/console/";
  const std::set<std::string> help = optionsIn(run("--help").out);
  EXPECT_TRUE(help.count("--files-from") && help.count("-q")) << "the extraction found too little";
  EXPECT_EQ(optionsIn(readFileBytes(dir + "flingpost.1")), help);
  std::string completion;
  const std::regex lists("(words|common)=\"([^\"]*)\"");
  const std::string bash = readFileBytes(dir + "flingpost.bash");
  for (std::sregex_iterator i(bash.begin(), bash.end(), lists), end; i != end; ++i) completion += " " + (*i)[2].str();
  EXPECT_EQ(optionsIn(completion), help);
  // What the completion offers for the words typed so far.
  writeFileBytes(work_.file("-dash.png"), "");
  for (const auto& [words, offers] : std::map<std::string, std::string>{{"''", "login albums upload --service"},
                                                                        {"upload --th", "--thumb"},
                                                                        {"upload --thumb ''", "100 200 300 400"},
                                                                        {"upload -- -d", "-dash.png"}}) {
    const std::string script = ". " + shellQuote(dir + "flingpost.bash") + "; COMP_WORDS=(flingpost " + words +
                               "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _flingpost; echo \"${COMPREPLY[*]}\"";
    ASSERT_EQ(
        std::system(("cd " + shellQuote(work_.path()) + " && bash -c " + shellQuote(script) + " >out.txt").c_str()), 0);
    EXPECT_EQ(readFileBytes(work_.file("out.txt")).rfind(offers, 0), 0u) << words;
  }
}

}  // namespace
