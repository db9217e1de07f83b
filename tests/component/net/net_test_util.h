#pragma once
// Shared helpers of the socket and HTTP tests: the text form of a log, and a
// progress callback that counts calls and answers "abort" on request.
#include <cstdint>
#include <string>

#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "component/net/progress_monitor.h"

namespace nettest {

inline std::string textOf(component::DiagnosticLog& log) {
  component::StringBuffer out;
  log.lastErrorText(out);
  return out.getString();
}

// Counts every notification; each kind answers "abort" on its call number
// `abortAt...` (0: never). wasAborted tells whether any did.
class CountingCallback : public component::ProgressCallback {
 public:
  void percentDone(int percent, bool& abort) override {
    lastPercent = percent;
    answer(++percentCalls, abortAtPercentCall, abort);
  }
  void abortCheck(bool& abort) override { answer(++abortChecks, abortAtAbortCheck, abort); }
  void heartbeat(int, bool& abort) override { answer(++heartbeats, abortAtHeartbeat, abort); }
  bool wasAborted() override { return abortedSoFar; }

  int percentCalls = 0, lastPercent = -1, abortChecks = 0, heartbeats = 0;
  int abortAtPercentCall = 0, abortAtAbortCheck = 0, abortAtHeartbeat = 0;
  bool abortedSoFar = false;

 private:
  void answer(int count, int abortAt, bool& abort) {
    abort = count == abortAt;
    abortedSoFar = abortedSoFar || abort;
  }
};

}  // namespace nettest
