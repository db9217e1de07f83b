// ProgressMonitor: percent, heartbeat pacing and abort answers, on a clock the
// tests move by hand.
#include "component/net/progress_monitor.h"

#include <gtest/gtest.h>

#include "component/net/net_test_util.h"

namespace {

using component::ProgressMonitor;

TEST(ProgressMonitorPercent, IntegerPercentWithoutOverflow) {
  const struct {
    int64_t done, total;
    int percent;
  } cases[] = {
      {0, 0, 100}, {5, -1, 100},  // no total: always complete
      {9, 1000, 0}, {10, 1000, 1}, {999, 1000, 99}, {1000, 1000, 100},
      // Large totals are scaled down first.
      {1500000000, 3000000000LL, 50}, {4000000000000000000LL, 8000000000000000000LL, 50},
      {29999999, 3000000000LL, 0}, {30000000, 3000000000LL, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressMonitor::percent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}

class Monitor : public ::testing::Test {
 protected:
  nettest::FakeClock clock;
  nettest::CountingCallback callback;
  bool abort = false;
};

TEST_F(Monitor, PercentDoneOnlyWhenTheIntegerPercentRises) {
  ProgressMonitor monitor(&callback, 1000);
  abort = true;
  monitor.addProgress(5, abort);
  EXPECT_FALSE(abort);
  EXPECT_EQ(callback.percentCalls, 0);
  monitor.addProgress(5, abort);
  EXPECT_EQ(callback.percentCalls, 1);
  EXPECT_EQ(callback.lastPercent, 1);
  monitor.addProgress(5, abort);
  EXPECT_EQ(callback.percentCalls, 1);
  monitor.addProgress(5, abort);
  EXPECT_EQ(callback.percentCalls, 2);
  EXPECT_EQ(callback.lastPercent, 2);
  EXPECT_EQ(callback.abortChecks, 0);  // the clock did not move
}

TEST_F(Monitor, ZeroTotalNeverReportsPercentButChecksAfterMoreThan300Ms) {
  ProgressMonitor monitor(&callback, 0);
  monitor.addProgress(100, abort);
  clock.advance(300);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 0);
  clock.advance(1);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 1);
  clock.advance(200);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 1);
  EXPECT_EQ(callback.percentCalls, 0);
  EXPECT_EQ(monitor.done(), 0);
}

TEST_F(Monitor, IntervalOfTheLastCheckAbortPacesAbortChecks) {
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(50);
  clock.advance(51);
  monitor.addProgress(1, abort);
  EXPECT_EQ(callback.abortChecks, 1);
}

TEST_F(Monitor, OvershootStopsAtTotal) {
  ProgressMonitor monitor(&callback, 1000);
  monitor.addProgress(5000, abort);
  EXPECT_EQ(monitor.done(), 1000);
  EXPECT_EQ(callback.lastPercent, 100);
  monitor.addProgress(5000, abort);
  EXPECT_EQ(monitor.done(), 1000);
  EXPECT_EQ(callback.percentCalls, 1);
}

TEST_F(Monitor, AbortAnswerIsKeptUntilTheNextAddProgress) {
  callback.abortAtPercentCall = 1;
  ProgressMonitor monitor(&callback, 100);
  monitor.addProgress(50, abort);
  EXPECT_TRUE(abort);
  EXPECT_TRUE(monitor.isAborted());
  monitor.addProgress(0, abort);  // no rise, no time passed: nothing asked
  EXPECT_FALSE(abort);
  EXPECT_FALSE(monitor.isAborted());
}

TEST_F(Monitor, CheckAbortOfZeroCallsNothing) {
  callback.abortAtHeartbeat = 1;
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(250);
  ASSERT_EQ(monitor.checkIntervalMs(), 250u);
  EXPECT_FALSE(monitor.checkAbort(0));
  EXPECT_EQ(monitor.checkIntervalMs(), 0u);
  EXPECT_EQ(callback.heartbeats, 1);
}

TEST_F(Monitor, FirstHeartbeatIsImmediateThenOncePerInterval) {
  clock.set(5000);
  ProgressMonitor monitor(&callback, 0);
  EXPECT_FALSE(monitor.checkAbort(250));
  EXPECT_EQ(callback.heartbeats, 1);
  clock.advance(249);
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 1);
  clock.advance(1);
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 2);
}

TEST_F(Monitor, PresetHeartbeatTickDelaysTheFirstHeartbeat) {
  clock.set(5000);
  ProgressMonitor monitor(&callback, 0);
  monitor.setLastHeartbeatTick(ProgressMonitor::now());
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 0);
  clock.advance(250);
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 1);
}

TEST_F(Monitor, WrappedCounterRestartsTheInterval) {
  clock.set(0xFFFFFF00u);
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(100);
  ASSERT_EQ(callback.heartbeats, 1);
  clock.set(10);
  EXPECT_FALSE(monitor.checkAbort(100));
  EXPECT_EQ(callback.heartbeats, 1);
  EXPECT_EQ(monitor.lastHeartbeatTick(), 10u);
  clock.advance(100);
  monitor.checkAbort(100);
  EXPECT_EQ(callback.heartbeats, 2);
}

TEST_F(Monitor, AbortIsReportedOnlyWhenAHeartbeatRuns) {
  callback.abortAtHeartbeat = 1;
  ProgressMonitor monitor(&callback, 0);
  EXPECT_TRUE(monitor.checkAbort(100));
  EXPECT_FALSE(monitor.checkAbort(100));  // not due: false although aborted
  EXPECT_TRUE(monitor.isAborted());
}

TEST_F(Monitor, PollAbortAsksAfterMoreThan300MsAndNeverClearsAnAbort) {
  ProgressMonitor monitor(&callback, 0);
  monitor.pollAbort();
  EXPECT_EQ(callback.abortChecks, 0);
  clock.advance(301);
  callback.abortAtAbortCheck = 1;
  monitor.pollAbort();
  EXPECT_EQ(callback.abortChecks, 1);
  EXPECT_TRUE(monitor.isAborted());
  callback.abortAtAbortCheck = 0;
  clock.advance(301);
  monitor.pollAbort();
  EXPECT_EQ(callback.abortChecks, 2);
  EXPECT_TRUE(monitor.isAborted());
}

}  // namespace
