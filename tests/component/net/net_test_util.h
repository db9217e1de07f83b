#pragma once
// Shared helpers of the socket and HTTP tests: the text form of a log, and a
// progress callback that counts calls and answers "abort" on request.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "component/net/progress_monitor.h"
#include "platform/clock.h"

namespace nettest {

inline std::string textOf(component::DiagnosticLog& log) {
  component::StringBuffer out;
  log.lastErrorText(out);
  return out.getString();
}

// Counts every notification; each kind answers "abort" on its call number
// `abortAt...` (0: never), heartbeats also every time once `abortAfterMs` (0:
// never) have passed since it was made. wasAborted tells whether any did.
// `onPercentCall` runs at each percent call, with its number.
class CountingCallback : public component::ProgressCallback {
 public:
  void percentDone(int percent, bool& abort) override {
    lastPercent = percent;
    percents.push_back(percent);
    answer(++percentCalls, abortAtPercentCall, abort);
    if (onPercentCall) onPercentCall(percentCalls);
  }
  void abortCheck(bool& abort) override { answer(++abortChecks, abortAtAbortCheck, abort); }
  void heartbeat(int, bool& abort) override {
    const bool late = abortAfterMs && platform::tickCount() - created_ >= abortAfterMs;
    ++heartbeats;
    answer(heartbeats, late ? heartbeats : abortAtHeartbeat, abort);
  }
  bool wasAborted() override { return abortedSoFar; }

  int percentCalls = 0, lastPercent = -1, abortChecks = 0, heartbeats = 0;
  int abortAtPercentCall = 0, abortAtAbortCheck = 0, abortAtHeartbeat = 0;
  uint32_t abortAfterMs = 0;
  bool abortedSoFar = false;
  std::vector<int> percents;
  std::function<void(int)> onPercentCall;

 private:
  void answer(int count, int abortAt, bool& abort) {
    abort = count == abortAt;
    abortedSoFar = abortedSoFar || abort;
  }
  const uint32_t created_ = platform::tickCount();
};

}  // namespace nettest
