// The console front-end as its users run it: the built program against the
// local service stand-in (or a scripted loopback peer), in a working folder of
// its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace {

using testsupport::jsonField;
using testsupport::readFileBytes;
using testsupport::shellQuote;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
  double seconds = 0;
};

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string httpReply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
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
    testsupport::writeFileBytes(work_.file("parse.json"), text);
    const std::string cmd = "php -r 'exit(json_decode(file_get_contents($argv[1])) === null ? 1 : 0);' " +
                            shellQuote(work_.file("parse.json"));
    return std::system(cmd.c_str()) == 0;
  }
  void remember() { ASSERT_EQ(run("login -q --user demo --password-stdin --remember", "demo\n").status, 0); }
  std::string pic() const { return shellQuote(work_.file("pic.png")); }

  testsupport::DevService service_;
  testsupport::TempDir work_;
};

TEST_F(ConsoleTest, UsageErrorsSayWhatIsWrongOnAtMostThreeLines) {
  const std::string pic = this->pic();
  const struct {
    std::string args, says;
  } cases[] = {
      {"upload --album 11", "needs at least one FILE"},
      {"login", "login needs --user"},
      {"login --user demo --password secret", "never taken from the command line"},
      {"upload --album 11 --yes --thumb 250 " + pic, "--thumb takes 100, 200, 300 or 400"},
      {"upload --album 11 --yes --timeout=0 " + pic, "--timeout takes whole seconds"},
      {"frobnicate", "unknown command frobnicate"},
      {"albums --album 11", "--album is an option of upload"},
      {"albums --jsn", "unknown option --jsn"},
      {"upload --album 11 " + pic, "pass --yes"},  // nobody could answer the question
      {"upload --album 11 --yes --user demo --password-stdin --files-from - " + pic, "both the password and the list"},
  };
  for (const auto& c : cases) {
    const Result r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find("Try 'flingpost --help'.\n"), std::string::npos) << c.args;
    EXPECT_LE(count(r.err, "\n"), 3u) << c.args << "\n" << r.err;
  }
  EXPECT_TRUE(service_.uploadLog().empty());
  const Result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: flingpost", 0), 0u);
  EXPECT_EQ(run("--version").out, "flingpost 0.2\n");
}

TEST_F(ConsoleTest, FilesAreCheckedBeforeTheServiceIsAsked) {
  remember();
  const Result r = run("upload --album 11 --yes " + pic() + " gone.png " + shellQuote(work_.path()) + " -- -dash.png");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("gone.png: No such file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(work_.path() + ": not a readable regular file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("-dash.png: No such file"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Attempting to log in"), std::string::npos) << r.err;
  EXPECT_TRUE(service_.uploadLog().empty());
}

TEST_F(ConsoleTest, FailuresBeforeAnyFileExitOneWithNothingButTheirJsonOnStandardOutput) {
  const struct {
    std::string args, input, service, says;
  } cases[] = {
      {"login --user demo --password-stdin", "wrong\n", "", "Login Error: Login failed.\n\nCheck username and password and try again."},
      {"login --user nobody --password-stdin", "x\n", "", "Setup Error: User nobody doesn't exist!\n\nPlease try again."},
      {"login --user demo --password-stdin", "demo\n", "127.0.0.1:1", "Network Error: Connection to Kestrova failed."},
      {"albums", "", "", "not signed in"},
      {"upload --album 11 --yes " + pic(), "", "", "not signed in"},
  };
  for (const auto& c : cases) {
    for (const std::string json : {"", " --json"}) {
      const Result r = run(c.args + json, c.input, c.service);
      EXPECT_EQ(r.status, 1) << c.args << json;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
      if (json.empty()) {
        EXPECT_EQ(r.out, "") << c.args;
      } else {
        EXPECT_EQ(r.out.rfind("{\"error\":", 0), 0u) << r.out;
        EXPECT_TRUE(parsesAsJson(r.out)) << r.out;
      }
    }
  }
  remember();
  const Result r = run("upload --album 99 --yes " + pic());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no album has the key 99"), std::string::npos) << r.err;
  EXPECT_TRUE(service_.uploadLog().empty());
}

// Replies of a scripted service to the saved sign-in.
TEST_F(ConsoleTest, AlbumLinesStayOneLineAndAFailedSignInPrintsNoAlbums) {
  remember();
  const std::string head = "<userdata><validated status=\"true\"/><usergroup>m</usergroup>";
  const std::string tabbed = "<album><id>5</id><album_name>a&#9;b</album_name>"
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
      {"<userdata><validated status=\"false\"/></userdata>", "albums -q", 1, ""},
  };
  for (const auto& c : cases) {
    testsupport::LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(httpReply(c.body)).close();
    peer.start();
    const Result r = run(c.args, "", peer.address());
    EXPECT_EQ(r.status, c.status) << c.body << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.body;
  }
}

TEST_F(ConsoleTest, UploadPrintsHtmlThenBbcodesAndSendsTheChosenFields) {
  testsupport::writeFileBytes(work_.file("list.txt"), work_.file("pic.png") + "\r\n\n");
  testsupport::writeFileBytes(work_.file("-dash.png"), readFileBytes(work_.file("pic.png")));
  const Result r = run("upload --album 12 --user demo --password-stdin --thumb 400 --yes --files-from list.txt -- -dash.png",
                       "demo\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string l1, l2, blank, b1, b2;
  std::getline(lines, l1), std::getline(lines, l2), std::getline(lines, blank), std::getline(lines, b1),
      std::getline(lines, b2);
  // The files named on the command line go first, then those of the list.
  EXPECT_EQ(l1.rfind("<a href=\"http://127.0.0.1:", 0), 0u) << r.out;
  EXPECT_NE(l1.find("-dash.png\"><img"), std::string::npos) << r.out;
  EXPECT_NE(l2.find("-pic.png\"><img"), std::string::npos) << r.out;
  EXPECT_EQ(blank, "");
  EXPECT_EQ(b1.rfind("[URL=http://", 0), 0u);
  EXPECT_NE(b2.find("[/IMG][/URL]"), std::string::npos);
  EXPECT_NE(r.err.find("Are you sure?: Upload 2 images to album\nCats & Dogs? yes"), std::string::npos);

  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(jsonField(log[0], "aid"), "12");
  EXPECT_EQ(jsonField(log[0], "thumbsize"), "400");
  // The cache holds the same codes, back to back.
  EXPECT_EQ(readFileBytes(work_.file("data/htmlcodes.txt")), l1 + l2);
  EXPECT_EQ(readFileBytes(work_.file("data/bbcodes.txt")), b1 + b2);
}

TEST_F(ConsoleTest, EachFileThatFailsIsNamedWithItsReason) {
  remember();
  // An upload server that takes the request and never answers.
  testsupport::LoopbackPeer silent;
  silent.stall(20000);
  silent.start();
  testsupport::DevService stalled({{"DEVSERVICE_UPLOAD_URL", "http://" + silent.address() + "/upload.php"}});
  const std::string notImage = "bad\xff name.txt";  // also not UTF-8
  testsupport::writeFileBytes(work_.file(notImage), "no image");
  const std::string pic = work_.file("pic.png");
  const struct {
    std::vector<std::string> files;
    std::string options, service, limit;
    int status;
    std::vector<bool> ok;
    size_t notTried;
  } cases[] = {
      {{pic, notImage}, "", "", "timeout 60", 3, {true, false}, 0},
      {{pic}, "--timeout 1 --verbose", stalled.address(), "timeout 60", 3, {false}, 0},
      {{pic, pic, pic}, "", stalled.address(), "timeout --preserve-status -s INT 2", 130, {false, false, false}, 2},
  };
  for (const auto& c : cases) {
    std::string args = "upload --album 11 --yes --json " + c.options;
    for (const auto& f : c.files) args += " " + shellQuote(f);
    const Result r = run(args, "", c.service, c.limit);
    EXPECT_EQ(r.status, c.status) << args << "\n" << r.err;
    EXPECT_TRUE(parsesAsJson(r.out)) << r.out;
    const size_t failed = size_t(std::count(c.ok.begin(), c.ok.end(), false));
    EXPECT_EQ(count(r.out, "\"ok\":true"), c.ok.size() - failed) << r.out;
    EXPECT_EQ(count(r.out, "\"ok\":false,\"html\":null,\"bbcode\":null,\"error\":\""), failed) << r.out;
    EXPECT_EQ(count(r.out, "not tried"), c.notTried) << r.out;
    // One line on standard error for each failed file: its name and why.
    std::set<std::string> names;
    for (size_t i = 0; i < c.files.size(); ++i)
      if (!c.ok[i]) names.insert(c.files[i]);
    size_t lines = 0;
    for (const auto& n : names) lines += count(r.err, "flingpost: " + n + ": ");
    EXPECT_EQ(lines, failed) << r.err;
  }
  // On a terminal the bar is cleared before a message, not run into it.
  if (std::system("command -v script >/dev/null") != 0) return;
  const std::string cmd = "cd " + shellQuote(work_.path()) + " && KESTROVA_SERVICE=" + stalled.address() +
                          " timeout 60 script -qec " +
                          shellQuote(std::string(FP_FLINGPOST_BIN) + " upload --album 11 --yes --timeout 1 pic.png") +
                          " /dev/null >screen.txt";
  EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 3);
  const std::string screen = readFileBytes(work_.file("screen.txt"));
  EXPECT_NE(screen.find("% pic.png"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\x1b[KOOPS: Upload Failed"), std::string::npos) << screen;
}

TEST_F(ConsoleTest, SavedSignInServesLaterCommandsQuicklyAndQuietly) {
  remember();
  const std::string saved = readFileBytes(work_.file("data/logininfo.xml"));
  EXPECT_NE(saved.find("<hashed_password>" + std::string(testsupport::DevService::kDigest)), std::string::npos);
  EXPECT_EQ(saved.find(">demo</h"), std::string::npos);  // never the password itself

  const Result r = run("albums --json");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("{\"albums\":[{\"key\":\"0\",\"id\":0,\"name\":\"Private\"", 0), 0u) << r.out;
  // Nobody watches a one-shot command: no pauses (0.3 s and 0.1 s) for a progress window.
  EXPECT_LT(r.seconds, 0.3);
  const Result q = run("upload --album 13 --yes -q " + pic());
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.err, "");  // results and errors only
  EXPECT_NE(q.out.find("[URL="), std::string::npos);
  // Results that cannot be written are a failure, not a success.
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
    if (step.aged) testsupport::writeFileBytes(work_.file("data/versioncheck.txt"), "0\n");
    const Result r = run(step.args, "demo\n", newer.address());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "Newer Version Available"), step.shown ? 1u : 0u) << step.args << "\n" << r.err;
  }
}

TEST_F(ConsoleTest, InteractiveSessionMirrorsTheMenu) {
  testsupport::writeFileBytes(work_.file("two words.png"), readFileBytes(work_.file("pic.png")));
  const std::string script =
      "login\ndemo\ndemo\nn\n"                            // File, Login (not remembered)
      "prompt off\nthumb 999\nthumb 100\n"                 // Options
      "drop 11 'two words.png' \"two words.png\"\n"        // albums by key, names quoted
      "html\nbbcode\n"
      "clear\nhtml\n"                                     // no answer line: taken as no, html kept
      "clear\ny\nbbcode\n"                                 // agreed: codes gone
      "open 11\nabout";                                   // the end of input ends the session
  const Result r = run("", script);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(jsonField(log[1], "thumbsize"), "100");
  EXPECT_EQ(jsonField(log[1], "aid"), "11");
  EXPECT_EQ(jsonField(log[1], "filename"), "two words.png");
  // The viewer shows one code per line; the declined clear kept them.
  std::istringstream out(r.out);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(out, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  EXPECT_EQ(lines[0].rfind("<a href=", 0), 0u);
  EXPECT_EQ(lines[1].rfind("<a href=", 0), 0u);
  EXPECT_EQ(lines[2].rfind("[URL=", 0), 0u);
  EXPECT_EQ(lines[3].rfind("[URL=", 0), 0u);
  EXPECT_EQ(lines[4], lines[0]);
  EXPECT_EQ(lines[5], lines[1]);
  EXPECT_EQ(lines[6], "http://" + service_.address() + "/members/demo/view.php?aid=11");
  EXPECT_EQ(readFileBytes(work_.file("data/bbcodes.txt")), "");
  EXPECT_NE(r.err.find("thumb takes 100, 200, 300 or 400."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("About Kestrova Flingpost: Kestrova Flingpost Uploader v0.2 (beta)"), std::string::npos);
  EXPECT_EQ(r.err.find("Are you sure?: Upload"), std::string::npos);  // prompt was off
  EXPECT_EQ(r.err.substr(r.err.size() - 3), "> \n");  // the shell's prompt starts on a new line
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

  testsupport::writeFileBytes(work_.file("-dash.png"), "");
  const struct {
    std::string words, offers;
  } cases[] = {
      {"flingpost ''", "login albums upload --service"},
      {"flingpost upload --th", "--thumb"},
      {"flingpost upload --thumb ''", "100 200 300 400"},
      {"flingpost upload -- -d", "-dash.png"},
  };
  for (const auto& c : cases) {
    const std::string cmd = "cd " + shellQuote(work_.path()) + " && bash -c " +
                            shellQuote(". " + shellQuote(dir + "flingpost.bash") + "; COMP_WORDS=(" + c.words +
                                       "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _flingpost; "
                                       "echo \"${COMPREPLY[*]}\"") +
                            " >out.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFileBytes(work_.file("out.txt")).rfind(c.offers, 0), 0u) << c.words;
  }
}

}  // namespace
