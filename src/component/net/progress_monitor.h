#pragma once
// ProgressCallback: how a caller of the component follows an operation and asks
// it to stop. ProgressMonitor: the per-operation wrapper that counts bytes,
// reports percent, paces heartbeats and keeps the caller's abort answer.
#include <cstdint>

#include "platform/env.h"

namespace component {

class ProgressCallback {
 public:
  virtual ~ProgressCallback() = default;
  // The integer percent done has risen.
  virtual void percentDone(int percent, bool& abort) {
    (void)percent;
    abort = false;
  }
  // A periodic check while bytes flow or while waiting to read.
  virtual void abortCheck(bool& abort) { (void)abort; }
  // At most once per heartbeat interval in waits and transfers.
  virtual void heartbeat(int value, bool& abort) {
    (void)value;
    abort = false;
  }
  // Asked after a failed connect or reply receive, to word the failure.
  virtual bool wasAborted() { return false; }
};

class ProgressMonitor {
 public:
  // Times come from the clock of `env`.
  ProgressMonitor(ProgressCallback* callback, int64_t total, platform::Env& env);
  virtual ~ProgressMonitor() = default;

  // A heartbeat when at least `intervalMs` has passed since the last one, then
  // the abort answer. An interval of 0 returns false and calls nothing.
  bool checkAbort(uint32_t intervalMs);
  // Counts bytes; percentDone when the integer percent rose, otherwise
  // abortCheck when the check interval (300 ms before any checkAbort) passed.
  void addProgress(int64_t count, bool& abort);
  bool isAborted() const { return aborted_; }

  static int percent(int64_t done, int64_t total);

  int64_t done() const { return done_; }
  // Unless a heartbeat came already, the first one comes one interval from now
  // rather than at the first check.
  void startHeartbeats();

 private:
  platform::Env& env_;
  int64_t total_;
  int64_t done_ = 0;
  ProgressCallback* callback_;
  bool aborted_ = false;
  uint32_t lastCallbackTick_;
  uint32_t checkIntervalMs_ = 0;
  uint32_t lastHeartbeatTick_ = 0;
};

}  // namespace component
