#include "service/sign_in.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "service/service_fixture.h"

namespace {

using testsupport::ProgressEvent;

const char kDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";
const std::vector<std::string> kPrivateOnly = {"0:0:Private:Private Folder"};

std::string album(const std::string& id, const std::string& name, const std::string& description) {
  return "<album><id>" + id + "</id><album_name>" + name + "</album_name><album_description>" + description +
         "</album_description></album>";
}

std::string accepted(const std::string& albums, const std::string& group = "members") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<userdata><validated status=\"true\"/><usergroup>" + group +
         "</usergroup>" + albums + "</userdata>";
}

class SignInTest : public testsupport::ServiceTest {
 protected:
  SignInTest() {
    state_->login.username = "alice";
    state_->login.hashedPassword = kDigest;
  }

  // Signs in against a loopback service that answers `body` and closes.
  bool signInWith(const std::string& body) {
    return answering(testsupport::httpReply(body), [this] { return service::signInAndLoadAlbums(*state_); });
  }

  // What an earlier sign-in left: signed in or not, a group, one album listed.
  void earlierSignIn(bool signedIn) {
    state_->signedIn = signedIn;
    state_->login.usergroup = "earlier";
    desktop_->albums().addAlbum("99", std::make_unique<app::Album>(99, "Old", "from before"));
  }

  std::vector<std::string> listed() const { return desktop_->albums().describe(); }
};

TEST_F(SignInTest, AcceptedAccountDataListsPrivateFirstThenTheAlbumsInDocumentOrder) {
  earlierSignIn(false);
  const std::string albums = album("12abc", "Holiday", "Summer &amp; sea") + album("007", "", "no name") +
                             album("12", "Again", "") + album("none", "Cats", "x") + album("", "Empty id", "y") +
                             album(" -3", "Negative", "z");
  ASSERT_TRUE(signInWith(accepted(albums, "gold")));
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(state_->login.usergroup, "gold");
  EXPECT_EQ(listed(), (std::vector<std::string>{"0:0:Private:Private Folder", "12:12:Holiday:Summer & sea",
                                                "7:7::no name", "12:12:Again:", "0:0:Cats:x", "0:0:Empty id:y",
                                                "-3:-3:Negative:z"}));
  EXPECT_EQ(desktop_->boxCount(), 0u);
  // The login fields keep what the sign-in was attempted with.
  EXPECT_EQ(state_->login.username, "alice");
  EXPECT_EQ(state_->login.hashedPassword, kDigest);
  EXPECT_EQ(request_, std::string("GET /getuserdataxml.php?user=alice&hashed_password=") + kDigest +
                          " HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
  EXPECT_EQ(testsupport::readFileBytes("data/userdata.xml"), accepted(albums, "gold"));
}

TEST_F(SignInTest, AnyStatusButExactlyFalseAcceptsInAnyElementOrder) {
  // A missing status accepts too; elements the client does not know are ignored.
  for (const char* validated :
       {"<validated status=\"yes\"/>", "<validated status=\"False\"/>", "<validated status=\"FALSE\"/>",
        "<validated status=\"false \"/>", "<validated status=\"\"/>", "<validated status=\"0\"/>", "<validated/>"}) {
    earlierSignIn(false);
    EXPECT_TRUE(signInWith(std::string("<userdata><usergroup>g</usergroup><extra/>") + validated + "</userdata>"))
        << validated;
    EXPECT_TRUE(state_->signedIn) << validated;
    EXPECT_EQ(listed(), kPrivateOnly) << validated;
  }
  EXPECT_EQ(desktop_->boxCount(), 0u);
}

struct FailureRow {
  const char* name;
  std::string body;
  const char* message;
  const char* caption;
  bool signedInBefore;
  bool signedInAfter;
  std::vector<std::string> listAfter;  // empty: the earlier list and group, unchanged
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

std::vector<FailureRow> failureRows() {
  const std::string ok = "<validated status=\"true\"/><usergroup>g</usergroup>";
  const std::string good = album("5", "Five", "5th");
  const char* const unknown = "User alice doesn't exist!\r\n\r\nPlease try again.";
  const char* const malformed = "User data retrieved from Kestrova was malformed.";
  const std::vector<std::string> five = {"0:0:Private:Private Folder", "5:5:Five:5th"};
  return {
      {"NotXml", "<userdata><validated></userdata", "Error opening user XML", "Setup Error", true, true, {}},
      {"NoUserdata", "<account><validated status=\"true\"/></account>", "Malformed XML at node userdata.",
       "Setup Error", true, true, {}},
      {"UnknownUser", "<userdata><error>no such user</error></userdata>", unknown, "Setup Error", true, true, {}},
      {"UnknownUserSignedOut", "<userdata><error/></userdata>", unknown, "Setup Error", false, false, {}},
      {"NoValidated", "<userdata><usergroup>g</usergroup></userdata>", "Malformed XML at node validated.",
       "Setup Error", true, true, {}},
      {"Refused", "<userdata><validated status=\"false\"/><usergroup>g</usergroup></userdata>",
       "Login failed.\r\n\r\nCheck username and password and try again.", "Login Error", true, false, {}},
      {"NoUsergroup", "<userdata><validated status=\"true\"/></userdata>", malformed, "Login Error", true, false, {}},
      {"EmptyUsergroup", "<userdata><validated status=\"true\"/><usergroup></usergroup></userdata>", malformed,
       "Login Error", true, false, {}},
      {"AlbumWithoutId", "<userdata>" + ok + good + "<album><album_name>n</album_name><album_description>d"
                         "</album_description></album>" + good + "</userdata>",
       "Malformed XML at node id.", "Setup Error", false, true, five},
      {"AlbumWithoutName", "<userdata>" + ok + good + "<album><id>6</id><album_description>d</album_description>"
                           "</album></userdata>",
       "Malformed XML at node album_name.", "Setup Error", false, true, five},
      {"AlbumWithoutDescription", "<userdata>" + ok + "<album><id>6</id><album_name>n</album_name></album>" + good +
                                  "</userdata>",
       "Malformed XML at node album_description.", "Setup Error", false, true, kPrivateOnly},
  };
}

class SignInFailureTest : public SignInTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(SignInFailureTest, ShowsOneMessageAndLeavesTheStateAsTheTableSays) {
  const FailureRow& row = GetParam();
  earlierSignIn(row.signedInBefore);
  EXPECT_FALSE(signInWith(row.body));
  const testsupport::RecordedBox box = onlyBox();
  EXPECT_EQ(box.text, row.message);
  EXPECT_EQ(box.caption, row.caption);
  EXPECT_EQ(box.buttons, app::MessageButtons::kOk);
  EXPECT_EQ(state_->signedIn, row.signedInAfter);
  const bool unchanged = row.listAfter.empty();
  EXPECT_EQ(listed(), unchanged ? std::vector<std::string>{"99:99:Old:from before"} : row.listAfter);
  // The group comes only from an accepted sign-in.
  EXPECT_EQ(state_->login.usergroup, unchanged ? "earlier" : "g");
  EXPECT_EQ(state_->login.username, "alice");
  EXPECT_EQ(state_->login.hashedPassword, kDigest);
  // Every message comes after the progress view has gone.
  const std::vector<ProgressEvent> progress = desktop_->progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().kind, ProgressEvent::kDestroyed);
  EXPECT_GT(box.seq, progress.back().seq);
}

INSTANTIATE_TEST_SUITE_P(Table, SignInFailureTest, ::testing::ValuesIn(failureRows()),
                         [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(SignInTest, AFailedFetchShowsOnlyTheNetworkMessageAndChangesNothing) {
  earlierSignIn(true);
  useService(testsupport::closedLoopbackPort());
  EXPECT_FALSE(service::signInAndLoadAlbums(*state_));
  EXPECT_EQ(onlyBox().caption, "Network Error");
  EXPECT_TRUE(state_->signedIn);
  EXPECT_EQ(listed(), (std::vector<std::string>{"99:99:Old:from before"}));
  EXPECT_EQ(desktop_->openProgressViews(), 0);
}

TEST_F(SignInTest, ShowsTheProgressViewOverTheAlbumListForAtLeast400ms) {
  desktop_->albums().setScreenRect({10, 20, 210, 520});
  ASSERT_TRUE(signInWith(accepted("")));
  const std::vector<ProgressEvent> p = desktop_->progress();
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].kind, ProgressEvent::kCreated);
  EXPECT_EQ(p[0].over, (app::Rect{10, 20, 210, 520}));
  EXPECT_EQ(p[1].kind, ProgressEvent::kText);
  EXPECT_EQ(p[1].text, "Attempting to log in as alice");
  const int bars[] = {10, 50, 100};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(p[size_t(2 + i)].kind, ProgressEvent::kBar);
    EXPECT_EQ(p[size_t(2 + i)].value, bars[i]);
  }
  EXPECT_EQ(p[5].kind, ProgressEvent::kDestroyed);
  EXPECT_GE(p[3].at - p[2].at, 300u);  // the pause before the request
  EXPECT_GE(p[5].at - p[4].at, 100u);  // the pause after the reply
  EXPECT_GE(p[5].at - p[0].at, 400u);
  for (const ProgressEvent& e : p) EXPECT_EQ(e.view, 0);
}

TEST_F(SignInTest, SendsUserNameAndDigestPercentEncoded) {
  state_->login.username = "a b&c#d";
  state_->login.hashedPassword = "x y";
  ASSERT_TRUE(signInWith(accepted("")));
  EXPECT_EQ(request_,
            "GET /getuserdataxml.php?user=a%20b%26c%23d&hashed_password=x%20y HTTP/1.1\n"
            "User-Agent:Mozilla\nHost:127.0.0.1\n\n");
  // The progress text and messages use the name as typed.
  EXPECT_EQ(desktop_->progress()[1].text, "Attempting to log in as a b&c#d");
}

TEST_F(SignInTest, AnEmptyUserNameIsSentAsItIs) {
  state_->login.username = "";
  EXPECT_FALSE(signInWith("<userdata><error/></userdata>"));
  EXPECT_EQ(onlyBox().text, "User  doesn't exist!\r\n\r\nPlease try again.");
  EXPECT_EQ(request_.substr(0, 48), "GET /getuserdataxml.php?user=&hashed_password=5e");
}

TEST(ParseAlbumId, ReadsLeadingDecimalDigitsLikeStrtolClampedToThirtyTwoBits) {
  const int32_t max = std::numeric_limits<int32_t>::max();
  const int32_t min = std::numeric_limits<int32_t>::min();
  const std::pair<const char*, int32_t> cases[] = {
      {"12abc", 12}, {"007", 7}, {"abc", 0}, {"", 0}, {nullptr, 0}, {" \t\n+42 ", 42}, {"-17x", -17}, {"- 5", 0},
      {"0x1A", 0}, {"1e3", 1}, {"2147483647", max}, {"2147483648", max}, {"99999999999999999999999999", max},
      {"-2147483648", min}, {"-2147483649", min}, {"-99999999999999999999999999", min},
  };
  for (const auto& c : cases) EXPECT_EQ(service::parseAlbumId(c.first), c.second) << (c.first ? c.first : "null");
}

}  // namespace
