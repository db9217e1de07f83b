// ProgressMonitor: percent, heartbeat pacing and abort answers, on a clock the
// tests move by hand.
#include "component/net/progress_monitor.h"

#include <gtest/gtest.h>

#include "component/net/net_test_util.h"

namespace {

using component::ProgressMonitor;
using nettest::CountingCallback;
using nettest::FakeClock;

TEST(ProgressMonitorPercent, ZeroOrNegativeTotalIsAlwaysComplete) {
  EXPECT_EQ(ProgressMonitor::percent(0, 0), 100);
  EXPECT_EQ(ProgressMonitor::percent(5, -1), 100);
}

TEST(ProgressMonitorPercent, IntegerDivisionOfDoneByTotal) {
  EXPECT_EQ(ProgressMonitor::percent(9, 1000), 0);
  EXPECT_EQ(ProgressMonitor::percent(10, 1000), 1);
  EXPECT_EQ(ProgressMonitor::percent(999, 1000), 99);
  EXPECT_EQ(ProgressMonitor::percent(1000, 1000), 100);
}

TEST(ProgressMonitorPercent, LargeTotalsAreScaledDownWithoutOverflow) {
  EXPECT_EQ(ProgressMonitor::percent(1500000000, 3000000000LL), 50);
  EXPECT_EQ(ProgressMonitor::percent(4000000000000000000LL, 8000000000000000000LL), 50);
  EXPECT_EQ(ProgressMonitor::percent(29999999, 3000000000LL), 0);
  EXPECT_EQ(ProgressMonitor::percent(30000000, 3000000000LL), 1);
}

TEST(ProgressMonitorAddProgress, PercentDoneOnlyWhenTheIntegerPercentRises) {
  FakeClock clock;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 1000);
  bool abort = true;
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

TEST(ProgressMonitorAddProgress, ZeroTotalNeverReportsPercentButChecksEvery300Ms) {
  FakeClock clock;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 0);
  bool abort = false;
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 0);
  clock.advance(300);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 0);  // more than 300 ms is needed
  clock.advance(1);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 1);
  clock.advance(200);
  monitor.addProgress(100, abort);
  EXPECT_EQ(callback.abortChecks, 1);
  EXPECT_EQ(callback.percentCalls, 0);
  EXPECT_EQ(monitor.done(), 0);
}

TEST(ProgressMonitorAddProgress, CheckIntervalOfTheLastCheckAbortPacesAbortChecks) {
  FakeClock clock;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(50);  // first heartbeat at once; the interval is now 50
  bool abort = false;
  clock.advance(51);
  monitor.addProgress(1, abort);
  EXPECT_EQ(callback.abortChecks, 1);
}

TEST(ProgressMonitorAddProgress, OvershootStopsAtTotal) {
  FakeClock clock;
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 1000);
  bool abort = false;
  monitor.addProgress(5000, abort);
  EXPECT_EQ(monitor.done(), 1000);
  EXPECT_EQ(callback.lastPercent, 100);
  monitor.addProgress(5000, abort);
  EXPECT_EQ(monitor.done(), 1000);
  EXPECT_EQ(callback.percentCalls, 1);
}

TEST(ProgressMonitorAddProgress, AbortAnswerIsKeptUntilTheNextAddProgress) {
  FakeClock clock;
  CountingCallback callback;
  callback.abortAtPercentCall = 1;
  ProgressMonitor monitor(&callback, 100);
  bool abort = false;
  monitor.addProgress(50, abort);
  EXPECT_TRUE(abort);
  EXPECT_TRUE(monitor.isAborted());
  callback.abortAtPercentCall = 0;
  monitor.addProgress(0, abort);  // no rise, no time passed: nothing asked
  EXPECT_FALSE(abort);
  EXPECT_FALSE(monitor.isAborted());
}

TEST(ProgressMonitorCheckAbort, ZeroIntervalCallsNothing) {
  FakeClock clock;
  CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(250);
  ASSERT_EQ(monitor.checkIntervalMs(), 250u);
  EXPECT_FALSE(monitor.checkAbort(0));
  EXPECT_EQ(monitor.checkIntervalMs(), 0u);
  EXPECT_EQ(callback.heartbeats, 1);
}

TEST(ProgressMonitorCheckAbort, FirstHeartbeatIsImmediateThenOncePerInterval) {
  FakeClock clock(5000);
  CountingCallback callback;
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

TEST(ProgressMonitorCheckAbort, PresetHeartbeatTickDelaysTheFirstHeartbeat) {
  FakeClock clock(5000);
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 0);
  monitor.setLastHeartbeatTick(ProgressMonitor::now());
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 0);
  clock.advance(250);
  monitor.checkAbort(250);
  EXPECT_EQ(callback.heartbeats, 1);
}

TEST(ProgressMonitorCheckAbort, WrappedCounterRestartsTheInterval) {
  FakeClock clock(0xFFFFFF00u);
  CountingCallback callback;
  ProgressMonitor monitor(&callback, 0);
  monitor.checkAbort(100);
  ASSERT_EQ(callback.heartbeats, 1);
  clock.set(10);  // wrapped
  EXPECT_FALSE(monitor.checkAbort(100));
  EXPECT_EQ(callback.heartbeats, 1);
  EXPECT_EQ(monitor.lastHeartbeatTick(), 10u);
  clock.advance(100);
  monitor.checkAbort(100);
  EXPECT_EQ(callback.heartbeats, 2);
}

TEST(ProgressMonitorCheckAbort, AbortIsReportedOnlyWhenAHeartbeatRuns) {
  FakeClock clock;
  CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  ProgressMonitor monitor(&callback, 0);
  EXPECT_TRUE(monitor.checkAbort(100));
  EXPECT_FALSE(monitor.checkAbort(100));  // not due: false although aborted
  EXPECT_TRUE(monitor.isAborted());
}

TEST(ProgressMonitorPollAbort, AsksAfterMoreThan300MsAndNeverClearsAnAbort) {
  FakeClock clock;
  CountingCallback callback;
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
