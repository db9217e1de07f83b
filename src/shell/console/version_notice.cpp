#include "shell/console/version_notice.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "app/data_files.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "service/version_check.h"

namespace console {
namespace {

const char kRecordFile[] = "versioncheck.txt";  // seconds since 1970, in decimal
constexpr long long kDaySeconds = 24 * 60 * 60;

long long now() { return static_cast<long long>(std::time(nullptr)); }

bool checkedWithinADay() {
  std::string text;
  if (!platform::readWholeFile(app::dataPath(kRecordFile), 32, &text) || text.empty() ||
      text.find_first_not_of("0123456789\n") != std::string::npos)
    return false;
  const long long age = now() - std::strtoll(text.c_str(), nullptr, 10);
  return age >= 0 && age < kDaySeconds;
}

void recordCheck() {
  const std::string text = std::to_string(now()) + "\n";
  platform::writeWholeFile(app::dataPath(kRecordFile), text.data(), text.size());
}

}  // namespace

void DailyVersionCheck::startIfDue(app::AppState& state) {
  if (checkedWithinADay()) return;
  auto finished = std::make_shared<std::promise<void>>();
  done_ = finished->get_future();
  const std::shared_ptr<app::Desktop> desktop = state.desktop;
  const app::ServiceEndpoint endpoint = state.service;
  const bool started = platform::startDetachedThread([desktop, endpoint, finished] {
    if (service::versionCheckThread(*desktop, endpoint) == 1) recordCheck();
    finished->set_value();
  });
  if (!started) done_ = std::future<void>();
}

void DailyVersionCheck::waitMs(unsigned ms) {
  if (done_.valid()) done_.wait_for(std::chrono::milliseconds(ms));
}

}  // namespace console
