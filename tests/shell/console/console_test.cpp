// The console front-end as its users run it: the built program against the
// local service stand-in, or a scripted loopback peer in its place, in a
// working folder of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/real_proxy.h"
#include "support/temp_dir.h"
#include "support/tls_front.h"

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
  // redirections), `input` on its standard input, under `limit`. Its files go
  // to "data" there, and HOME is a folder of the test's own.
  Result run(const std::string& args, const std::string& input = "", const std::string& service = "",
             const std::string& limit = "timeout 60") {
    return shell("printf %s " + shellQuote(input) + " | " + limit + " " + shellQuote(FP_FLINGPOST_BIN) +
                     " >out.txt 2>err.txt " + args,
                 service);
  }
  // The same on a terminal, as a person runs it; what it shows lands in .out.
  Result onTerminal(const std::string& args, const std::string& service = "") {
    return shell("timeout 60 script -qec " + shellQuote(std::string(FP_FLINGPOST_BIN) + " " + args) +
                     " /dev/null </dev/null >out.txt 2>err.txt",
                 service);
  }
  Result shell(const std::string& command, const std::string& service) {
    const std::string cmd = "cd " + shellQuote(work_.path()) + " && export HOME=" + shellQuote(work_.file("home")) +
                            " FLINGPOST_DATA_DIR=data KESTROVA_SERVICE=" +
                            shellQuote(service.empty() ? service_.address() : service) + " && " + command;
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
      {"logout --user demo", "", "", 2, "logout takes none of --user"},
      // Input without an end is refused, not stored.
      {"login --user demo --password-stdin", std::string(2000, 'x'), "", 2, "longer than the 1024 bytes"},
      {"upload --album 11 --yes --files-from -", std::string(5000, 'x'), "", 2,
       "line 1 of the list on standard input is no path: it is longer than 4095 bytes"},
      {"upload --album 11 --yes --files-from many.txt", "", "", 2, "names too many files: one upload takes at most 100000"},
  };
  std::string many;
  while (many.size() < 100001 * 8) many += "pic.png\n";
  writeFileBytes(work_.file("many.txt"), many);
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
  // Controls that would steer a terminal: a window title, BEL, CSI as a C1
  // control, DEL, a line separator.
  const std::string tabbed =
      "<album><id>5</id><album_name>a&#9;b\x1b]0;title\x07</album_name>"
      "<album_description>x&#10;y&#13;z\xc2\x9b\x7f\xe2\x80\xa8</album_description></album>";
  const struct {
    std::string body, args;
    int status;
    std::string out;
  } cases[] = {
      {head + tabbed + "</userdata>", "albums -q", 0,
       "0\tPrivate\tPrivate Folder\n5\ta b\\x1b]0;title\\x07\tx y z\\u009b\\x7f\\u2028\n"},
      {head + tabbed + "</userdata>", "albums -q --json", 0,
       "{\"albums\":[{\"key\":\"0\",\"id\":0,\"name\":\"Private\",\"description\":\"Private Folder\"},"
       "{\"key\":\"5\",\"id\":5,\"name\":\"a\\tb\\u001b]0;title\\u0007\","
       "\"description\":\"x\\ny\\rz\xc2\x9b\x7f\xe2\x80\xa8\"}]}\n"},
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
  // Quiet when it works: the question --yes answered is not echoed, and each
  // file has its line, since no terminal shows a bar.
  EXPECT_EQ(r.err, "flingpost: -dash\\xff.png: uploaded\nflingpost: " + work_.file("pic.png") + ": uploaded\n");
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
  // Not UTF-8, and a line break and an escape that must not forge a line of its own.
  const std::string notImage = work_.file("bad\xff\nflingpost: forged\x1b[2J.txt");
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
      {"a name that is not UTF-8", {pic, notImage}, "", "timeout 60", {}, 3, 1, 0, "refused the file: not an image"},
      {"no byte moves for --timeout", {pic}, "--timeout 1 --verbose", "timeout 60", {""}, 3, 1, 0,
       "Failed to receive until double-CRLF"},
      {"Ctrl-C before the reply", {pic, pic, pic}, "", interrupt, {""}, 130, 3, 2, "Aborted by application"},
      {"SIGTERM before the reply", {pic, pic}, "", "timeout --preserve-status -s TERM 3", {""}, 143, 2, 1,
       "Aborted by application"},
      {"SIGHUP, where Ctrl-C is ignored as in a script's background job", {pic}, "",
       "timeout 60 sh -c 'trap \"\" INT; \"$0\" \"$@\" & p=$!; sleep 2; kill -INT $p; sleep 1; kill -HUP $p; wait $p'",
       {""}, 129, 1, 0, "Aborted by application"},
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
    // One line on standard error for each file: uploaded, or why not.
    EXPECT_EQ(count(r.err, "flingpost: " + work_.path()), c.files.size()) << r.err;
    EXPECT_EQ(count(r.err, ": uploaded\n"), c.files.size() - c.failed) << r.err;
    EXPECT_EQ(r.err.find("\nflingpost: forged"), std::string::npos) << r.err;
    if (c.files.back() == notImage) {
      EXPECT_NE(r.err.find("/bad\\xff\\x0aflingpost: forged\\x1b[2J.txt: the service refused"), std::string::npos);
    }
    const std::map<int, std::string> stoppedBy{{130, "Ctrl-C"}, {143, "SIGTERM"}, {129, "SIGHUP"}};
    if (c.status > 128) {
      EXPECT_NE(r.err.find(": stopped by " + stoppedBy.at(c.status) + "\n"), std::string::npos) << r.err;
    }
    EXPECT_EQ(count(data("htmlcodes.txt"), "<a href="), c.files.size() - c.failed);
    if (c.failed) {
      EXPECT_NE(data("lasterror.xml").find(c.lastError), std::string::npos) << data("lasterror.xml");
    } else {
      EXPECT_EQ(data("htmlcodes.txt"), code);
    }
  }
  // On a terminal the bar is cleared before a message, not run into it.
  const Result screen = onTerminal("upload --album 11 --yes --timeout 1 pic.png", viaPeer.address());
  EXPECT_EQ(screen.status, 3);
  EXPECT_NE(screen.out.find("% pic.png"), std::string::npos) << screen.out;
  EXPECT_NE(screen.out.find("\x1b[KOOPS: Upload Failed"), std::string::npos) << screen.out;
  EXPECT_EQ(screen.out.find(": uploaded"), std::string::npos) << "the bar shows what the lines would";
}

// The whole road through a real proxy that asks for Basic credentials: to the
// stand-in over http (requests in absolute form) and through the TLS front
// over https (a CONNECT tunnel, the certificate checked as without a proxy).
TEST_F(ConsoleTest, ARealProxyCarriesSignInAlbumsUploadsAndCodesOverHttpAndHttps) {
  testsupport::RealProxy proxy;
  if (!proxy.ready()) GTEST_SKIP() << proxy.whyNot();
  testsupport::TlsFront front;
  ASSERT_TRUE(front.ready()) << front.whyNot();
  const std::string https = "https://localhost:" + std::to_string(front.port(testsupport::TlsFront::kService));
  const std::string via = " --proxy " + proxy.url() + " --cacert " + shellQuote(front.caFile());
  for (const std::string& site : {"http://" + service_.address(), https}) {
    SCOPED_TRACE(site);
    EXPECT_EQ(run("login -q --user demo --password-stdin --remember" + via, "demo\n", site).status, 0);
    EXPECT_EQ(run("albums -q" + via, "", site).out.rfind("0\tPrivate\tPrivate Folder\n11\t", 0), 0u);
    const Result r = run("upload -q --album 11 --yes" + via + " " + pic(), "", site);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("<a href=\"" + site + "/files/demo/11/", 0), 0u) << r.out;
  }
  const std::string log = proxy.log();
  for (const std::string& request : {"GET http://" + service_.address() + "/getuserdataxml.php?user=demo&",
                                     "POST http://" + service_.address() + "/upload.php HTTP/1.1",
                                     "CONNECT localhost:" + https.substr(https.rfind(':') + 1) + " HTTP/1.1"}) {
    EXPECT_NE(log.find(request), std::string::npos) << request << "\n" << log;
  }
  const Result wrong = run("albums -q --proxy " + proxy.url("wrong"), "", https);
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("Network Error: The proxy " + proxy.address() + " asks for a sign-in to reach localhost:" +
                           https.substr(https.rfind(':') + 1) + ": it did not accept the user name and password"),
            std::string::npos)
      << wrong.err;
}

// What a real proxy will not do on demand, played by a scripted one: each
// failure names the proxy and the target. The service goes through --proxy;
// the upload server at the end, through https_proxy (the stand-in itself is
// on loopback, which the system's setting never takes).
TEST_F(ConsoleTest, EveryProxyFailureNamesTheProxyAndTheTarget) {
  remember();
  const std::string ask = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n\r\n";
  const struct {
    std::string service, credentials, reply, says, sent;
  } cases[] = {
      {"https://kestrova.com", "", ask,
       "asks for a sign-in to reach kestrova.com:443: give the user name and password in the proxy address",
       "CONNECT kestrova.com:443 HTTP/1.1\r\nHost: kestrova.com:443\r\n\r\n"},
      {"https://kestrova.com", "u:p@", ask,
       "asks for a sign-in to reach kestrova.com:443: it did not accept the user name and password",
       "\r\nProxy-Authorization: Basic dTpw\r\n\r\n"},
      {"https://kestrova.com:8443", "",
       "HTTP/1.1 407 No\r\nProxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM abc\r\n\r\n",
       "asks for a sign-in to reach kestrova.com:8443 by Negotiate, NTLM, which Flingpost cannot give", "CONNECT"},
      {"https://kestrova.com", "", "HTTP/1.1 403 Forbidden\r\n\r\n",
       "refused the connection to kestrova.com:443: HTTP/1.1 403 Forbidden.", "CONNECT"},
      {"https://kestrova.com", "", "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n",
       "refused the connection to kestrova.com:443: HTTP/1.1 502 Bad Gateway.", "CONNECT"},
      {"https://kestrova.com", "", "HTTP/1.1 200 Conn",
       "closed the connection before it answered the request for kestrova.com:443.", "CONNECT"},
      {"https://kestrova.com", "", "HTTP/1.1 200 OK\r\nX: " + std::string(1100000, 'x'),
       "sent an answer header longer than 1048576 bytes when asked for kestrova.com:443.", "CONNECT"},
      {"kestrova.com:8080", "u:p@", ask, "asks for a sign-in to reach kestrova.com:8080: it did not accept",
       "GET http://kestrova.com:8080/getuserdataxml.php?user=demo&hashed_password=" +
           std::string(testsupport::DevService::kDigest) +
           " HTTP/1.1\nProxy-Authorization:Basic dTpw\nUser-Agent:Mozilla\nHost:kestrova.com\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    testsupport::LoopbackPeer peer;
    peer.receiveUntil(c.service[0] == 'h' ? "\r\n\r\n" : "\n\n").send(c.reply).close();
    peer.start();
    const Result r = run("albums -q --proxy http://" + c.credentials + peer.address(), "", c.service);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Network Error: The proxy " + peer.address() + " " + c.says), std::string::npos) << r.err;
    EXPECT_NE(peer.received().find(c.sent), std::string::npos) << peer.received();
  }
  const std::string closed = "127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort());
  EXPECT_NE(run("albums -q --proxy " + closed, "", "https://kestrova.com")
                .err.find("Network Error: Connection to the proxy " + closed + " failed, on the way to kestrova.com:443."),
            std::string::npos);

  testsupport::LoopbackPeer proxy;
  proxy.receiveUntil("\r\n\r\n").send("HTTP/1.1 403 Forbidden\r\n\r\n").close();
  proxy.start();
  testsupport::DevService service(std::map<std::string, std::string>{{"DEVSERVICE_UPLOAD_URL", "https://upload.example/upload.php"}});
  const Result r = run("upload --album 11 --yes " + pic(), "", service.address(),
                       "env https_proxy=" + proxy.address() + " timeout 60");
  const std::string why = "The proxy " + proxy.address() +
                          " refused the connection to upload.example:443: HTTP/1.1 403 Forbidden.";
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find(": the upload did not go through: " + why), std::string::npos) << r.err;
  EXPECT_NE(data("lasterror.xml").find(why), std::string::npos);
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

TEST_F(ConsoleTest, SavedSignInServesLaterCommandsQuicklyAndQuietlyAndWhatCannotBeWrittenFails) {
  remember();
  const Result r = run("albums");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // quiet when it works
  // Nobody watches a one-shot command: no pauses (0.3 s and 0.1 s) for a progress window.
  EXPECT_LT(r.seconds, 0.3);
  const Result q = run("upload --album 13 --yes -q " + pic());
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.err, "");  // results and errors only
  EXPECT_NE(q.out.find("[URL="), std::string::npos);
  // Results that cannot be written: the codes are in the cache, or said to be
  // lost where it cannot take them either (and both files stay in step); a
  // closed standard output is no file of the program's to write them into.
  const std::string upload = "upload --album 13 --yes -q " + pic();
  const std::string kept = "; the link codes are kept in data/htmlcodes.txt and data/bbcodes.txt\n";
  const struct {
    std::string args;
    bool cacheFails;
    std::string says;
  } cases[] = {
      {"albums >/dev/full", false, "cannot write to standard output: No space left on device\n"},
      {upload + " >/dev/full", false, "No space left on device" + kept},
      {upload + " >&-", false, "Bad file descriptor" + kept},
      {upload + " >/dev/full", true, work_.file("pic.png") + ": uploaded, but its link codes are lost\n"},
  };
  for (const auto& c : cases) {
    if (c.cacheFails && std::filesystem::remove(work_.file("data/bbcodes.txt"))) {
      std::filesystem::create_directory(work_.file("data/bbcodes.txt"));
    }
    const Result full = run(c.args);
    EXPECT_EQ(full.status, 1) << c.args;
    EXPECT_NE(full.err.find(c.says), std::string::npos) << full.err;
    EXPECT_EQ(data("flingpost.lock"), "");
    if (c.cacheFails) {
      EXPECT_EQ(data("htmlcodes.txt"), "") << "the two files stay in step";
    }
  }
  // A sign-in that --remember cannot save: the albums, then why, and exit 1.
  std::filesystem::remove(work_.file("data/logininfo.xml"));
  std::filesystem::create_directory(work_.file("data/logininfo.xml"));
  const Result unsaved = run("login --user demo --password-stdin --remember", "demo\n");
  EXPECT_EQ(unsaved.status, 1);
  EXPECT_EQ(unsaved.out.rfind("0\tPrivate\t", 0), 0u);
  EXPECT_EQ(unsaved.err, "flingpost: the sign-in was not saved: data/logininfo.xml: Is a directory\n");
}

// Notices are for a person at a terminal: a newer version once a day, and a
// service that cannot be reached once, not again by the version check.
TEST_F(ConsoleTest, OnATerminalTheVersionNoticeShowsOnceADayAndAFailedConnectionOnce) {
  testsupport::DevService newer(std::map<std::string, std::string>{{"DEVSERVICE_VERSION", "0.3"}});
  remember();
  EXPECT_EQ(run("albums", "", newer.address()).err, "") << "no terminal: no check";
  const struct {
    std::string args;
    bool aged;  // the last check is made a day old first
    bool shown;
  } steps[] = {
      {"albums", false, true},
      {"albums", false, false},
      {"albums -q", true, false},  // quiet: no check at all
      {"albums", false, true},
  };
  for (const auto& step : steps) {
    if (step.aged) writeFileBytes(work_.file("data/versioncheck.txt"), "0\n");
    const Result r = onTerminal(step.args, newer.address());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count(r.out, "Newer Version Available"), step.shown ? 1u : 0u) << step.args << "\n" << r.out;
  }
  writeFileBytes(work_.file("data/versioncheck.txt"), "0\n");
  const Result down = onTerminal("albums", "127.0.0.1:1");
  EXPECT_EQ(down.status, 1);
  EXPECT_EQ(count(down.out, "Network Error: Connection to Kestrova failed."), 1u) << down.out;
}

// The files live per user wherever a command runs; XDG_STATE_HOME, --data-dir
// and FLINGPOST_DATA_DIR move them; a sign-in that an older version left in
// ./data is pointed out once, and read only when asked for.
TEST_F(ConsoleTest, FilesLivePerUserAndLogoutForgetsTheSavedSignIn) {
  const std::string perUser = "timeout 60 env -u FLINGPOST_DATA_DIR";
  ASSERT_EQ(run("login -q --user demo --password-stdin --remember", "demo\n", "", perUser).status, 0);
  const std::string saved =
      std::filesystem::canonical(work_.file("home/.local/state/flingpost")).string() + "/logininfo.xml";
  ASSERT_TRUE(std::filesystem::exists(saved));
  EXPECT_FALSE(std::filesystem::exists(work_.file("data"))) << "the working folder was left alone";
  std::filesystem::create_directory(work_.file("data"));
  std::filesystem::copy_file(saved, work_.file("data/logininfo.xml"));
  for (const size_t said : {1u, 0u}) {
    const Result r = run("albums", "", "", perUser);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.err, "data holds a sign-in saved by an older flingpost"), said) << r.err;
  }
  const Result xdg = run("albums", "", "", perUser + " XDG_STATE_HOME=" + shellQuote(work_.file("xdg")));
  EXPECT_EQ(xdg.status, 1);
  EXPECT_NE(xdg.err.find("not signed in: "), std::string::npos);
  EXPECT_NE(xdg.err.find("older flingpost: give --data-dir data to use it"), std::string::npos) << xdg.err;
  EXPECT_TRUE(std::filesystem::exists(work_.file("xdg/flingpost/flingpost.lock")));
  EXPECT_EQ(run("--data-dir data logout", "", "", perUser + " FLINGPOST_DATA_DIR=elsewhere").status, 0);
  EXPECT_FALSE(std::filesystem::exists(work_.file("data/logininfo.xml")));
  const Result out = run("logout", "", "", perUser);
  EXPECT_EQ(out.out, "Forgot the saved sign-in, which was in " + saved + ".\n");
  EXPECT_FALSE(std::filesystem::exists(saved));
  EXPECT_EQ(run("albums", "", "", perUser).status, 1);
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
  // The page's title names the program's one version, as --version does ("flingpost VERSION\n").
  const std::string version = "\"" + linesOf(run("--version").out).at(0) + "\"";
  EXPECT_NE(readFileBytes(dir + "flingpost.1").find(version), std::string::npos) << version;
  std::string completion;
  const std::regex lists("(words|common)=\"([^\"]*)\"");
  const std::string bash = readFileBytes(dir + "flingpost.bash");
  for (std::sregex_iterator i(bash.begin(), bash.end(), lists), end; i != end; ++i) completion += " " + (*i)[2].str();
  EXPECT_EQ(optionsIn(completion), help);
  // What the completion offers for the words typed so far.
  writeFileBytes(work_.file("-dash.png"), "");
  for (const auto& [words, offers] : std::map<std::string, std::string>{{"''", "login albums logout upload --data-dir"},
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
