#include "component/net/progress_monitor.h"

namespace component {
namespace {

// abortCheck while bytes flow comes at most this often before any checkAbort
// has set an interval of its own.
constexpr uint32_t kDefaultCheckIntervalMs = 300;

}  // namespace

ProgressMonitor::ProgressMonitor(ProgressCallback* callback, int64_t total, platform::Env& env)
    : env_(env), total_(total), callback_(callback), lastCallbackTick_(env.tickCount()) {}

void ProgressMonitor::startHeartbeats() {
  if (lastHeartbeatTick_ == 0) lastHeartbeatTick_ = env_.tickCount();
}

int ProgressMonitor::percent(int64_t done, int64_t total) {
  if (total <= 0) return 100;
  // Scale large totals down so done * 100 cannot overflow.
  while (total > 1000000) {
    total /= 10;
    done /= 10;
  }
  return static_cast<int>(done * 100 / total);
}

bool ProgressMonitor::checkAbort(uint32_t intervalMs) {
  checkIntervalMs_ = intervalMs;
  if (intervalMs == 0) return false;
  const uint32_t t = env_.tickCount();
  if (t <= lastHeartbeatTick_) {
    // The counter wrapped (or no time passed): start measuring again from here.
    lastHeartbeatTick_ = t;
    return false;
  }
  if (t - lastHeartbeatTick_ < intervalMs) return false;
  lastHeartbeatTick_ = t;
  lastCallbackTick_ = t;
  if (callback_) callback_->heartbeat(0, aborted_);
  return aborted_;
}

void ProgressMonitor::addProgress(int64_t count, bool& abort) {
  abort = false;
  aborted_ = false;
  const int before = percent(done_, total_);
  done_ += count;
  if (done_ > total_) done_ = total_;
  const int after = percent(done_, total_);
  const uint32_t t = env_.tickCount();
  if (after > before) {
    lastCallbackTick_ = t;
    if (callback_) callback_->percentDone(after, abort);
    if (abort) aborted_ = true;
    return;
  }
  const uint32_t interval = checkIntervalMs_ ? checkIntervalMs_ : kDefaultCheckIntervalMs;
  if (t - lastCallbackTick_ > interval) {
    lastHeartbeatTick_ = t;
    lastCallbackTick_ = t;
    if (callback_) callback_->abortCheck(abort);
    if (abort) aborted_ = true;
  }
}

}  // namespace component
