#pragma once
// POSIX only: sends SIGUSR1 to the constructing thread every 20 ms (at most 40
// times) while it lives, with a handler installed without SA_RESTART, so that
// every blocking wait of that thread sees EINTR. signals() counts the arrivals.
#ifndef _WIN32
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"

namespace testsupport {

class SignalStorm {
 public:
  SignalStorm() {
    struct sigaction sa {};
    sa.sa_handler = [](int) { ++arrived(); };
    sigaction(SIGUSR1, &sa, &old_);
    arrived() = 0;
    thread_ = std::thread([this, target = pthread_self()] {
      for (int i = 0; i < 40 && !stop_; ++i, platform::sleepMs(20)) pthread_kill(target, SIGUSR1);
    });
  }
  ~SignalStorm() {
    stop_ = true;
    thread_.join();
    sigaction(SIGUSR1, &old_, nullptr);
  }

  static int signals() { return arrived().load(); }

 private:
  static std::atomic<int>& arrived() {
    static std::atomic<int> n{0};
    return n;
  }

  struct sigaction old_ {};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace testsupport
#endif
