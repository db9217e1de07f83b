#pragma once
// Shared helpers of the socket and HTTP tests: the text form of a log, a
// progress callback that counts calls and answers "abort" on request, and a
// clock the tests move by hand.
#include <cstdint>
#include <string>

#include "component/base/data_buffer.h"
#include "component/base/encoded_string.h"
#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "component/net/progress_monitor.h"

namespace nettest {

inline std::string textOf(component::DiagnosticLog& log) {
  component::StringBuffer out;
  log.lastErrorText(out);
  return out.getString();
}

inline std::string bytesOf(component::DataBuffer& b) {
  return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}

inline component::EncodedString ansi(const char* text) {
  component::EncodedString s;
  s.setAnsi(text);
  return s;
}

inline size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Counts every notification; each kind answers "abort" once its count reaches
// the configured number (0: never). wasAborted tells whether it ever did.
class CountingCallback : public component::ProgressCallback {
 public:
  void percentDone(int percent, bool& abort) override {
    lastPercent = percent;
    answer(++percentCalls, abortAtPercentCall, abort);
  }
  void abortCheck(bool& abort) override { answer(++abortChecks, abortAtAbortCheck, abort); }
  void heartbeat(int, bool& abort) override { answer(++heartbeats, abortAtHeartbeat, abort); }
  bool wasAborted() override { return abortedSoFar; }

  int percentCalls = 0;
  int lastPercent = -1;
  int abortChecks = 0;
  int heartbeats = 0;
  int abortAtPercentCall = 0;
  int abortAtAbortCheck = 0;
  int abortAtHeartbeat = 0;
  bool abortedSoFar = false;

 private:
  void answer(int count, int abortAt, bool& abort) {
    abort = abortAt != 0 && count >= abortAt;
    abortedSoFar = abortedSoFar || abort;
  }
};

// The monitors' clock, moved by hand while an instance lives.
class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 1000) {
    now_ = start;
    component::ProgressMonitor::setTickSourceForTesting(&FakeClock::read);
  }
  ~FakeClock() { component::ProgressMonitor::setTickSourceForTesting(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  static void advance(uint32_t ms) { now_ += ms; }
  static void set(uint32_t ms) { now_ = ms; }
  static uint32_t read() { return now_; }

 private:
  static inline uint32_t now_ = 0;
};

}  // namespace nettest
