#include "service/sign_in.h"

#include "service/service_fixture.h"

namespace {

using testsupport::ProgressEvent;
using testsupport::Texts;

std::string album(const std::string& id, const std::string& name, const std::string& description = "") {
  return "<album><id>" + id + "</id><album_name>" + name + "</album_name><album_description>" + description +
         "</album_description></album>";
}

class SignInTest : public testsupport::ServiceTest {};

// Accepted account data lists "Private" first, then the albums in document order;
// anything else shows one message, after the progress view has gone, and keeps
// what the table says of the earlier sign-in.
TEST_F(SignInTest, AcceptedAccountDataListsTheAlbumsAndAnythingElseShowsOneMessage) {
  const std::string name = "a b&c#d%+=", ok = "<validated status=\"true\"/><usergroup>g</usergroup>";
  const std::string five = album("5", "Five"), unknown = "Setup Error: User " + name + " doesn't exist!\r\n\r\nPl";
  const std::string malformed = "Login Error: User data retrieved from Kestrova was malformed.";
  const Texts unchanged = {"99:99:Old:from before"}, priv = {"0:0:Private:Private Folder"};
  const Texts fiveListed = {priv[0], "5:5:Five:"};
  const struct {
    std::string body, message;  // the start of the one box shown; empty: accepted
    bool signedInBefore, signedInAfter;
    Texts albums;  // the group is "g" unless the list is unchanged
  } rows[] = {
      {"<?xml version=\"1.0\"?>\n<userdata>" + ok + album("12abc", "Holiday", "Summer &amp; sea") +
           album("007", "", "x") + album("none", "Cats") + album(" -3", "N") + album("2147483648", "Big") +
           album("-99999999999", "Small") + "</userdata>", "", false, true,
       {priv[0], "12:12:Holiday:Summer & sea", "7:7::x", "0:0:Cats:", "-3:-3:N:", "2147483647:2147483647:Big:",
        "-2147483648:-2147483648:Small:"}},
      // Any status but exactly "false" accepts, in any element order.
      {"<userdata><usergroup>g</usergroup><validated status=\"False\"/></userdata>", "", false, true, priv},
      {"<userdata><usergroup>g</usergroup><validated status=\"false \"/></userdata>", "", false, true, priv},
      {"<userdata><usergroup>g</usergroup><validated/></userdata>", "", false, true, priv},
      {"<userdata><validated></userdata", "Setup Error: Error opening user XML", true, true, unchanged},
      {"<account>" + ok + "</account>", "Setup Error: Malformed XML at node userdata.", true, true, unchanged},
      {"<userdata><error>no such user</error></userdata>", unknown, true, true, unchanged},
      {"<userdata><error/></userdata>", unknown, false, false, unchanged},
      {"<userdata><usergroup>g</usergroup></userdata>", "Setup Error: Malformed XML at node validated.", true, true,
       unchanged},
      {"<userdata><validated status=\"false\"/><usergroup>g</usergroup></userdata>",
       "Login Error: Login failed.\r\n\r\nCheck username and password and try again.", true, false, unchanged},
      {"<userdata><validated status=\"true\"/></userdata>", malformed, true, false, unchanged},
      {"<userdata><validated/><usergroup></usergroup></userdata>", malformed, true, false, unchanged},
      // The account was accepted: the albums read before the broken one stay.
      {"<userdata>" + ok + five + "<album><album_name>n</album_name><album_description/></album>" + five +
           "</userdata>", "Setup Error: Malformed XML at node id.", false, true, fiveListed},
      {"<userdata>" + ok + five + "<album><id>6</id><album_description/></album></userdata>",
       "Setup Error: Malformed XML at node album_name.", false, true, fiveListed},
      {"<userdata>" + ok + "<album><id>6</id><album_name>n</album_name></album>" + five + "</userdata>",
       "Setup Error: Malformed XML at node album_description.", false, true, priv},
  };
  state_->login.username = name;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    state_->signedIn = row.signedInBefore;
    state_->login.usergroup = "earlier";
    desktop_->albums().clear();
    desktop_->albums().addAlbum("99", std::make_unique<app::Album>(99, "Old", "from before"));
    EXPECT_EQ(answer(testsupport::Step::kSignIn, testsupport::httpReply(row.body)), row.message.empty());
    EXPECT_EQ(newBoxes(row.message.size()), one(row.message));
    EXPECT_EQ(state_->signedIn, row.signedInAfter);
    EXPECT_EQ(desktop_->albums().describe(), row.albums);
    EXPECT_EQ(state_->login.usergroup, row.albums == unchanged ? "earlier" : "g");
    EXPECT_EQ(state_->login.username, name);
    EXPECT_EQ(request_, "GET /getuserdataxml.php?user=a%20b%26c%23d%25%2B%3D&hashed_password="
                        "5ebe2294ecd0e0f08eab7690d2a6ee69 HTTP/1.1\nUser-Agent:Mozilla\nHost:127.0.0.1\n\n");
    EXPECT_EQ(testsupport::readFileBytes("data/userdata.xml"), row.body);
    const std::vector<ProgressEvent> progress = desktop_->progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().kind, ProgressEvent::kDestroyed);
    EXPECT_TRUE(row.message.empty() || desktop_->boxes().back().seq > progress.back().seq) << "box over the view";
  }
}

}  // namespace
