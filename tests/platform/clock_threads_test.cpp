#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "platform/clock.h"
#include "platform/threads.h"

namespace platform {
namespace {

TEST(Clock, TickCountAdvancesAcrossASleep) {
  const uint32_t before = tickCount();
  const auto wallBefore = std::chrono::steady_clock::now();
  sleepMs(60);
  const uint32_t elapsed = tickCount() - before;  // unsigned: right across a wrap too
  const auto wall = std::chrono::steady_clock::now() - wallBefore;
  EXPECT_GE(wall, std::chrono::milliseconds(60)) << "the sleep was cut short";
  // The Windows tick counter moves in steps of 10 to 16 ms.
  EXPECT_GE(elapsed, 44u);
  EXPECT_LT(elapsed, 10000u);
}

TEST(Threads, DetachedThreadRunsItsBodyElsewhereAndOwnsWhatItCaptures) {
  auto shared = std::make_shared<std::promise<std::thread::id>>();
  std::future<std::thread::id> ran = shared->get_future();
  ASSERT_TRUE(startDetachedThread([shared] {
    sleepMs(20);
    shared->set_value(std::this_thread::get_id());
  }));
  shared.reset();  // the thread must keep its own copy alive
  ASSERT_EQ(ran.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_NE(ran.get(), std::this_thread::get_id());
}

}  // namespace
}  // namespace platform
