#pragma once
// The version check of the one-shot commands: somebody who runs flingpost a
// hundred times a day would otherwise see the notice of a newer version a
// hundred times. It runs at most once a day per data folder; the time of the
// last check that read the service's answer is kept in versioncheck.txt there.
// A check that does not get through says nothing: the command itself reports
// a service it cannot reach.
#include <future>

#include "app/app_state.h"

namespace console {

class DailyVersionCheck {
 public:
  // Starts the check on a thread of its own unless one was done within the
  // last 24 hours (by this folder's record; a record from the future, or one
  // that cannot be read, counts as none).
  void startIfDue(app::AppState& state);
  // Waits at most `ms` for a started check to end, so that the end of the
  // process does not cut its notice off.
  void waitMs(unsigned ms);

 private:
  std::future<void> done_;
};

}  // namespace console
