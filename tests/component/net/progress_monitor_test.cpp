// ProgressMonitor: percent, heartbeat pacing and abort answers, on a clock the
// tests move by hand.
#include "component/net/progress_monitor.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "component/net/net_test_util.h"

namespace {

using component::ProgressMonitor;

// A clock moved by hand.
class FakeClock : public platform::Env {
 public:
  uint32_t tickCount() override { return now_; }
  uint32_t now_ = 1000;
};

// Each script runs on a fresh monitor: "pN" counts N bytes, "cN" is checkAbort
// with an interval of N, "h" startHeartbeats, "+N" moves the clock on, "=N"
// sets it.
TEST(ProgressMonitor, CallbacksComeWhenDueAndAbortAnswersAreKept) {
  const struct {
    int64_t total;
    const char* script;
    int abortAtPercent, abortAtCheck, abortAtHeartbeat;
    int percentCalls, lastPercent, abortChecks, heartbeats;
    int64_t done;
    bool last, aborted;  // the last checkAbort's result, and isAborted at the end
  } cases[] = {
      {1000, "p5 p5 p5 p5", 0, 0, 0, 2, 2, 0, 0, 20, false, false},
      {1000, "p5000 p5000", 0, 0, 0, 1, 100, 0, 0, 1000, false, false},
      {3000000000LL, "p1499999999 p1", 0, 0, 0, 2, 50, 0, 0, 1500000000, false, false},  // large totals scale down
      // With no percent to report, abortCheck comes after more than 300 ms...
      {0, "p100 +300 p100 +1 p100 +200 p100", 0, 0, 0, 0, -1, 1, 0, 0, false, false},
      // ...or after the interval of the last checkAbort.
      {0, "c50 +51 p1", 0, 0, 0, 0, -1, 1, 1, 0, false, false},
      {100, "p50 p0", 1, 0, 0, 1, 50, 0, 0, 50, false, false},  // the next count clears it
      {0, "c250 +249 c250 +1 c250", 0, 0, 0, 0, -1, 0, 2, 0, false, false},
      {0, "h c250 +250 c250", 0, 0, 0, 0, -1, 0, 1, 0, false, false},
      {0, "=4294967040 c100 =10 c100 +100 c100", 0, 0, 0, 0, -1, 0, 2, 0, false, false},
      {0, "c100", 0, 0, 1, 0, -1, 0, 1, 0, true, true},
      {0, "c100 c100", 0, 0, 1, 0, -1, 0, 1, 0, false, true},  // no heartbeat due: false, still aborted
      {0, "p1 +301 p1", 0, 1, 0, 0, -1, 1, 0, 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    FakeClock clock;
    nettest::CountingCallback callback;
    callback.abortAtPercentCall = c.abortAtPercent;
    callback.abortAtAbortCheck = c.abortAtCheck;
    callback.abortAtHeartbeat = c.abortAtHeartbeat;
    ProgressMonitor monitor(&callback, c.total, clock);
    bool last = false;
    std::istringstream steps(c.script);
    for (std::string step; steps >> step;) {
      const uint32_t n = step.size() > 1 ? uint32_t(std::stoul(step.substr(1))) : 0;
      bool abort = false;
      if (step[0] == 'p') monitor.addProgress(n, abort);
      if (step[0] == 'c') last = monitor.checkAbort(n);
      if (step[0] == 'h') monitor.startHeartbeats();
      if (step[0] == '+') clock.now_ += n;
      if (step[0] == '=') clock.now_ = n;
      EXPECT_EQ(abort, step[0] == 'p' && monitor.isAborted()) << "the answer is handed out and kept alike";
    }
    EXPECT_EQ(std::make_tuple(callback.percentCalls, callback.lastPercent, callback.abortChecks, callback.heartbeats,
                              monitor.done(), last, monitor.isAborted()),
              std::make_tuple(c.percentCalls, c.lastPercent, c.abortChecks, c.heartbeats, c.done, c.last, c.aborted));
  }
}

}  // namespace
