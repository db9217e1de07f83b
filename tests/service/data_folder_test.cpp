// A damaged data folder: a folder where a file should be, or a file that cannot
// be replaced and still holds an earlier run's good reply. Each step must fail
// as with a broken reply, and never read what an earlier run left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "service/service_fixture.h"
#include "service/sign_in.h"
#include "service/sign_in_file.h"
#include "service/upload_server.h"
#include "service/version_check.h"

namespace {

using testsupport::httpReply;

// Makes `path` read-only while it lives. Permissions do not bind root, so a run
// as root takes the identity of nobody meanwhile.
class ReadOnly {
 public:
  explicit ReadOnly(const std::string& path) : path_(path) {
    chmod(path_.c_str(), 0444);
    if (asRoot_) {
      EXPECT_EQ(seteuid(65534), 0);
    }
  }
  ~ReadOnly() {
    if (asRoot_) {
      EXPECT_EQ(seteuid(0), 0);
    }
    chmod(path_.c_str(), 0644);
  }

 private:
  const std::string path_;
  const bool asRoot_ = geteuid() == 0;
};

class DataFolderTest : public testsupport::ServiceTest {};

TEST_F(DataFolderTest, AStepWhoseFileCannotBeReplacedFailsWithoutReadingTheOldOne) {
  enum Step { kSignIn, kLookUp, kVersion, kSavedSignIn };
  struct Row {
    const char* file;
    bool folder;      // a folder in its place; else read-only, holding `earlier`
    Step step;
    const char* message;  // the start of the one box shown, or null
  };
  const std::string accepted = "<userdata><validated/><usergroup>g</usergroup></userdata>";
  const std::string refused = "<userdata><validated status=\"false\"/><usergroup>g</usergroup></userdata>";
  const std::string server = "<getserver><uploadform>http://earlier.invalid/</uploadform></getserver>";
  const Row rows[] = {
      {"userdata.xml", true, kSignIn, "Error opening user XML"},
      {"userdata.xml", false, kSignIn, "Error opening user XML"},
      {"serverdata.xml", true, kLookUp, "Error opening server XML"},
      {"serverdata.xml", false, kLookUp, "Error opening server XML"},
      {"versiondata.xml", true, kVersion, nullptr},
      {"versiondata.xml", false, kVersion, nullptr},
      {"logininfo.xml", true, kSavedSignIn, "Cannot open the saved sign-in file data/logininfo.xml: it cannot be read"},
  };
  chmod(dir_.path().c_str(), 0755);  // open to nobody, see ReadOnly
  size_t shown = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + (row.folder ? " as a folder" : " read-only"));
    const std::string path = std::string("data/") + row.file;
    std::filesystem::remove_all(path);
    // What the earlier run left would sign in, name an address, find no news.
    const std::string earlier = row.step == kSignIn    ? accepted
                                : row.step == kLookUp  ? server
                                                       : "<appinfo><current_version>0.2</current_version></appinfo>";
    if (row.folder) {
      std::filesystem::create_directory(path);
    } else {
      testsupport::writeFileBytes(path, earlier);
    }
    state_->uploadUrl = "before";
    bool ok = false;
    {
      ReadOnly locked(row.folder ? dir_.file("unused") : path);
      const std::string reply = httpReply(row.step == kSignIn ? refused : "<getserver/><appinfo/>");
      switch (row.step) {
        case kSignIn:
          ok = answering(reply, [this] { return service::signInAndLoadAlbums(*state_); });
          break;
        case kLookUp:
          ok = answering(reply, [this] { return service::lookUpUploadServer(*state_); });
          break;
        case kVersion:
          ok = answering(reply, [this] { return service::versionCheckThread(*desktop_, state_->service) == 1; });
          break;
        case kSavedSignIn:
          ok = service::loadSignInFile(*state_);
          break;
      }
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(state_->signedIn);
    EXPECT_EQ(state_->uploadUrl, "before");
    const std::vector<testsupport::RecordedBox> boxes = desktop_->boxes();
    EXPECT_EQ(boxes.size() - shown, row.message ? 1u : 0u);
    if (row.message && boxes.size() > shown) {
      EXPECT_EQ(boxes.back().text.rfind(row.message, 0), 0u) << boxes.back().text;
    }
    shown = boxes.size();
  }
}

}  // namespace
