#include "app/data_folder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "support/dev_service.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace {

class DataFolderLockTest : public ::testing::Test {
 protected:
  std::unique_ptr<app::DataFolderLock> lock(uint32_t waitMs = 0, int* waited = nullptr) {
    problem_.clear();
    return app::lockDataFolder(waitMs, [waited] { waited && ++*waited; }, &problem_);
  }

  testsupport::TempDir dir_{true};
  std::string problem_;
};

TEST_F(DataFolderLockTest, ASecondHolderWaitsSayingSoOnceThenFailsWithAClearMessage) {
  const auto first = lock();
  ASSERT_TRUE(first) << problem_;
  int waited = 0;
  const uint32_t start = platform::tickCount();
  EXPECT_FALSE(lock(300, &waited));
  EXPECT_GE(platform::tickCount() - start, 300u);
  EXPECT_EQ(waited, 1);
  EXPECT_EQ(problem_, "Another Flingpost is using the data folder " + dir_.file("data") +
                          ". Only one Flingpost at a time can use it: end the other one, or start this one from "
                          "another folder.");
}

TEST_F(DataFolderLockTest, AFolderThatCannotHoldTheLockIsNamedWithTheReason) {
  struct Case {
    const char* folder;  // a file of this name blocks the folder, or a folder the lock file
    const char* reason;
  };
  for (const Case& c : {Case{"data", ": data/flingpost.lock: Not a directory"},
                        Case{"data/flingpost.lock", ": data/flingpost.lock: Is a directory"}}) {
    std::filesystem::remove_all("data");
    if (std::string(c.folder) == "data") {
      testsupport::writeFileBytes("data", "");
    } else {
      std::filesystem::create_directories(c.folder);
    }
    EXPECT_FALSE(lock(1000));
    EXPECT_EQ(problem_, "The data folder " + dir_.file("data") + " cannot be used" + c.reason);
  }
}

// The program itself: a second run waits for the first, and the lock of a run
// that is killed is free at once.
TEST_F(DataFolderLockTest, HeldAcrossProcessesAndFreedWhenTheHolderDies) {
  const char* const nobodyListens = "127.0.0.1:1";
  {
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
    const int status = std::system((std::string("KESTROVA_SERVICE=") + nobodyListens + " timeout 30 " +
                                    testsupport::shellQuote(FP_FLINGPOST_BIN) + " albums 2>err.txt")
                                       .c_str());
    release.join();
    EXPECT_GE(platform::tickCount() - start, 600u);  // it waited for the release
    EXPECT_EQ(codes, "<a>kept</a>") << "the waiting run emptied the cache of the running one";
    EXPECT_EQ(WEXITSTATUS(status), 1);  // it ran: nobody is signed in
    const std::string err = testsupport::readFileBytes("err.txt");
    EXPECT_EQ(err.find("flingpost: waiting for another Flingpost using this folder (up to 60 s)\n"), 0u) << err;
    EXPECT_NE(err.find("not signed in"), std::string::npos) << err;
  }

  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    // The interactive session, which runs until its input ends.
    dup2(input[0], 0);
    close(input[1]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    setenv("KESTROVA_SERVICE", nobodyListens, 1);
    execl(FP_FLINGPOST_BIN, FP_FLINGPOST_BIN, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  bool busy = false;
  for (int i = 0; i < 100 && !busy; ++i) {
    platform::sleepMs(50);
    busy = !lock();
  }
  EXPECT_TRUE(busy) << "the interactive session holds the folder";
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(input[1]);
  EXPECT_TRUE(lock()) << problem_;
}

}  // namespace
