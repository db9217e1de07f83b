// The console front-end as its users run it: the built program against the
// local service stand-in, in a working folder of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/file_text.h"
#include "support/dev_service.h"
#include "support/temp_dir.h"

namespace {

using testsupport::jsonField;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!service_.running()) GTEST_SKIP() << "the local service stand-in needs php";
    // A small valid PNG for uploads.
    const std::string cmd = "php -r '$i=imagecreatetruecolor(40,30);imagepng($i,\"" + work_.file("pic.png") + "\");'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // Runs flingpost with `args` in the working folder, `input` on its standard input.
  Result run(const std::string& args, const std::string& input = "", const std::string& service = "") {
    const std::string addr = service.empty() ? service_.address() : service;
    const std::string cmd = "cd " + testsupport::shellQuote(work_.path()) + " && printf %s " + testsupport::shellQuote(input) +
                            " | KESTROVA_SERVICE=" + testsupport::shellQuote(addr) + " timeout 60 " + testsupport::shellQuote(FP_FLINGPOST_BIN) + " " +
                            args + " >" + testsupport::shellQuote(work_.file("out.txt")) + " 2>" + testsupport::shellQuote(work_.file("err.txt"));
    Result r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = testsupport::readFileBytes(work_.file("out.txt"));
    r.err = testsupport::readFileBytes(work_.file("err.txt"));
    return r;
  }
  std::string pic() const { return testsupport::shellQuote(work_.file("pic.png")); }

  testsupport::DevService service_;
  testsupport::TempDir work_;
};

TEST_F(ConsoleTest, LoginListsTheAlbumsPrivateFirst) {
  const Result r = run("login --user demo --password-stdin", "demo\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0\tPrivate\tPrivate Folder\n11\tHoliday\tSummer by the sea\n"
            "12\tCats & Dogs\tPets <of> friends & family\n13\tWork\t\n");
  EXPECT_NE(r.err.find("Attempting to log in as demo"), std::string::npos);
}

TEST_F(ConsoleTest, RefusedSignInsExplainThemselves) {
  Result r = run("login --user demo --password-stdin", "wrong\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Login Error: Login failed.\n\nCheck username and password and try again."), std::string::npos);
  EXPECT_EQ(r.out, "");

  r = run("login --user nobody --password-stdin", "x\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Setup Error: User nobody doesn't exist!\n\nPlease try again."), std::string::npos);

  r = run("login --user demo --password-stdin", "demo\n", "127.0.0.1:1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Network Error: Connection to Kestrova failed."), std::string::npos);
}

TEST_F(ConsoleTest, UploadPrintsHtmlThenBbcodesAndSendsTheChosenFields) {
  const Result r = run("upload --album 12 --user demo --password-stdin --thumb 400 --yes " + pic() + " " + pic(),
                    "demo\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string l1, l2, blank, b1, b2;
  std::getline(lines, l1), std::getline(lines, l2), std::getline(lines, blank), std::getline(lines, b1),
      std::getline(lines, b2);
  EXPECT_EQ(l1.rfind("<a href=\"http://127.0.0.1:", 0), 0u) << r.out;
  EXPECT_NE(l2.find("border=0></a>"), std::string::npos);
  EXPECT_EQ(blank, "");
  EXPECT_EQ(b1.rfind("[URL=http://", 0), 0u);
  EXPECT_NE(b2.find("[/IMG][/URL]"), std::string::npos);
  EXPECT_NE(r.err.find("Are you sure?: Upload 2 images to album\nCats & Dogs? yes"), std::string::npos);

  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(jsonField(log[0], "aid"), "12");
  EXPECT_EQ(jsonField(log[0], "thumbsize"), "400");
  // The cache holds the same codes, back to back.
  EXPECT_EQ(testsupport::readFileBytes(work_.file("data/htmlcodes.txt")), l1 + l2);
  EXPECT_EQ(testsupport::readFileBytes(work_.file("data/bbcodes.txt")), b1 + b2);
}

TEST_F(ConsoleTest, BatchWithAMissingFileReportsItAndExitsThree) {
  const std::string files = pic() + " " + pic() + " " + testsupport::shellQuote(work_.file("gone.png")) + " " + pic() + " " + pic();
  const Result r = run("upload --album 11 --user demo --password-stdin --yes --json --verbose " + files, "demo\n");
  EXPECT_EQ(r.status, 3) << r.err;
  size_t fails = 0;
  for (size_t at = r.err.find("OOPS: Upload Failed"); at != std::string::npos;
       at = r.err.find("OOPS: Upload Failed", at + 1))
    ++fails;
  EXPECT_EQ(fails, 1u);
  // The batch's bar, after the sign-in's own steps.
  const std::string batch = r.err.substr(r.err.find("Preparing Uploads"));
  size_t p20 = batch.find("progress 20%"), p40 = batch.find("progress 40%"), p60 = batch.find("progress 60%"),
         p80 = batch.find("progress 80%"), p100 = batch.find("progress 100%");
  EXPECT_TRUE(p20 < p40 && p40 < p60 && p60 < p80 && p80 < p100 && p100 != std::string::npos) << r.err;
  EXPECT_EQ(service_.uploadLog().size(), 4u);
  EXPECT_NE(r.out.find("\"path\":\"" + work_.file("gone.png") + "\",\"ok\":false,\"html\":null"), std::string::npos)
      << r.out;
  // --verbose shows the component's own trail of the failed file.
  EXPECT_NE(r.err.find("Trail of the failed upload of " + work_.file("gone.png") + ":\nQuillonLog:\n  BlockingUpload:"),
            std::string::npos)
      << r.err;
  EXPECT_NE(testsupport::readFileBytes(work_.file("data/lasterror.xml")).find("Failed to get file size information"),
            std::string::npos);
}

TEST_F(ConsoleTest, DeclinedPromptSendsNothing) {
  const Result r = run("upload --album 11 --user demo --password-stdin " + pic(), "demo\nn\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Are you sure?: Upload 1 image to album\nHoliday? [y/N]"), std::string::npos) << r.err;
  EXPECT_TRUE(service_.uploadLog().empty());
}

TEST_F(ConsoleTest, SavedSignInIsUsedAtTheNextStart) {
  EXPECT_EQ(run("albums").status, 1);
  EXPECT_EQ(run("login --user demo --password-stdin --remember", "demo\n").status, 0);
  const std::string saved = testsupport::readFileBytes(work_.file("data/logininfo.xml"));
  EXPECT_NE(saved.find("<hashed_password>" + std::string(testsupport::DevService::kDigest)), std::string::npos);
  EXPECT_EQ(saved.find(">demo</h"), std::string::npos);  // never the password itself

  const Result r = run("albums --json");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("{\"albums\":[{\"key\":\"0\",\"id\":0,\"name\":\"Private\"", 0), 0u) << r.out;
  // An upload without --user signs in from the saved file too.
  EXPECT_EQ(run("upload --album 13 --yes " + pic()).status, 0);
}

TEST_F(ConsoleTest, InteractiveSessionMirrorsTheMenu) {
  const std::string script =
      "login\ndemo\ndemo\nn\n"      // File, Login (not remembered)
      "prompt off\nthumb 100\n"     // Options
      "drop 2 " + work_.file("pic.png") + " " + work_.file("pic.png") + "\n"
      "html\nbbcode\n"
      "clear\nn\nhtml\n"            // Clear declined: codes stay
      "clear\ny\nbbcode\n"          // Clear agreed: codes gone
      "open 2\nabout\nexit\n";
  const Result r = run("", script);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto log = service_.uploadLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(jsonField(log[1], "thumbsize"), "100");
  EXPECT_EQ(jsonField(log[1], "aid"), "11");
  // The viewer shows one code per line; the declined clear kept them.
  std::istringstream out(r.out);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(out, line)) lines.push_back(line);
  ASSERT_GE(lines.size(), 7u) << r.out;
  EXPECT_EQ(lines[0].rfind("<a href=", 0), 0u);
  EXPECT_EQ(lines[1].rfind("<a href=", 0), 0u);
  EXPECT_EQ(lines[2].rfind("[URL=", 0), 0u);
  EXPECT_EQ(lines[3].rfind("[URL=", 0), 0u);
  EXPECT_EQ(lines[4], lines[0]);
  EXPECT_EQ(lines[5], lines[1]);
  EXPECT_EQ(lines[6], "http://" + service_.address() + "/members/demo/view.php?aid=11");
  EXPECT_EQ(testsupport::readFileBytes(work_.file("data/bbcodes.txt")), "");
  EXPECT_NE(r.err.find("About Kestrova Flingpost: Kestrova Flingpost Uploader v0.2 (beta)"), std::string::npos);
  EXPECT_EQ(r.err.find("Are you sure?: Upload"), std::string::npos);  // prompt was off
}

TEST_F(ConsoleTest, UsageErrorsExitTwoAndHelpAndVersionAnswer) {
  EXPECT_EQ(run("upload --album 11").status, 2);
  EXPECT_EQ(run("login").status, 2);
  EXPECT_EQ(run("login --user demo --password secret").status, 2);
  EXPECT_EQ(run("upload --album 11 --thumb 250 x.png").status, 2);
  EXPECT_EQ(run("frobnicate").status, 2);
  Result r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: flingpost"), std::string::npos);
  r = run("--version");
  EXPECT_EQ(r.out, "flingpost 0.2\n");
}

}  // namespace
