#include "app/data_folder_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "support/dev_service.h"
#include "support/file_text.h"

namespace {

class DataFolderLockTest : public ::testing::Test {
 protected:
  std::unique_ptr<app::DataFolderLock> lock(uint32_t waitMs = 0) {
    problem_.clear();
    return app::lockDataFolder(waitMs, [this] { ++waited_; }, &problem_);
  }
  std::string cannot(const char* why) { return "The data folder " + dir_.file("data") + " cannot be used: " + why; }

  testsupport::TempDir dir_{true};
  std::string problem_;
  int waited_ = 0;
};

TEST_F(DataFolderLockTest, ASecondHolderWaitsSayingSoOnceThenFailsWithAClearMessage) {
  auto first = lock();
  ASSERT_TRUE(first) << problem_;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(lock(300));
  EXPECT_GE(platform::tickCount() - start, 300u);
  EXPECT_EQ(waited_, 1);
  EXPECT_EQ(problem_, "Another Flingpost is using the data folder " + dir_.file("data") +
                          ". Only one Flingpost at a time can use it: end the other one, or start this one from "
                          "another folder.");
  // A folder that cannot hold the lock is named with the reason.
  first.reset();
  std::filesystem::remove("data/flingpost.lock");
  std::filesystem::create_directory("data/flingpost.lock");
  EXPECT_FALSE(lock(1000));
  EXPECT_EQ(problem_, cannot("data/flingpost.lock: Is a directory"));
  std::filesystem::remove_all("data");
  testsupport::writeFileBytes("data", "");
  EXPECT_FALSE(lock(1000));
  EXPECT_EQ(problem_, cannot("data/flingpost.lock: Not a directory"));
}

// The program itself: a second run waits for the first, and the lock of a run
// that is killed is free at once.
TEST_F(DataFolderLockTest, HeldAcrossProcessesAndFreedWhenTheHolderDies) {
  auto held = lock();
  ASSERT_TRUE(held);
  testsupport::writeFileBytes("data/htmlcodes.txt", "<a>kept</a>");
  std::string codes;
  std::thread release([&held, &codes] {
    platform::sleepMs(700);
    codes = testsupport::readFileBytes("data/htmlcodes.txt");
    held.reset();
  });
  const uint32_t start = platform::tickCount();
  const std::string program =
      "KESTROVA_SERVICE=127.0.0.1:1 FLINGPOST_DATA_DIR=data " + testsupport::shellQuote(FP_FLINGPOST_BIN);
  const int status = std::system(("timeout 30 env " + program + " albums 2>err.txt").c_str());
  release.join();
  EXPECT_GE(platform::tickCount() - start, 600u);  // it waited for the release
  EXPECT_EQ(codes, "<a>kept</a>") << "the waiting run emptied the cache of the running one";
  EXPECT_EQ(WEXITSTATUS(status), 1);  // it ran: nobody is signed in
  const std::string err = testsupport::readFileBytes("err.txt");
  EXPECT_EQ(err.find("waiting"), std::string::npos) << "only a terminal is told of the wait: " << err;
  EXPECT_NE(err.find("not signed in"), std::string::npos) << err;

  // The interactive session runs until its input ends.
  FILE* session = popen(("echo $$ >pid; exec env " + program + " >/dev/null 2>&1").c_str(), "w");
  ASSERT_TRUE(session);
  bool busy = false;
  for (int i = 0; i < 100 && !busy; ++i, platform::sleepMs(50)) busy = !lock();
  EXPECT_TRUE(busy) << "the interactive session holds the folder";
  const pid_t pid = atoi(testsupport::readFileBytes("pid").c_str());
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);
  pclose(session);
  EXPECT_TRUE(lock()) << problem_;
}

}  // namespace
