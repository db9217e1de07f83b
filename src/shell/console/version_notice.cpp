#include "shell/console/version_notice.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/data_files.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "service/version_check.h"
#include "shell/console/console_desktop.h"

namespace console {
namespace {

constexpr long long kDaySeconds = 24 * 60 * 60;

long long now() { return static_cast<long long>(std::time(nullptr)); }

bool checkedWithinADay() {
  std::string text;
  if (!platform::readWholeFile(app::dataPath(app::kVersionCheckFile), 32, &text) || text.empty() ||
      text.find_first_not_of("0123456789\n") != std::string::npos)
    return false;
  const long long age = now() - std::strtoll(text.c_str(), nullptr, 10);
  return age >= 0 && age < kDaySeconds;
}

void recordCheck() {
  const std::string text = std::to_string(now()) + "\n";
  platform::writeWholeFile(app::dataPath(app::kVersionCheckFile), text.data(), text.size());
}

// The check's own desktop. The command's sign-in talks to the same service and
// reports a failed connection itself, so what the check says is held back and
// shown only when the check got through: its notice, never a second report of
// the same failure. The check uses nothing of a desktop but its messages.
class HeldBack : public ConsoleDesktop {
 public:
  explicit HeldBack(std::shared_ptr<app::Desktop> desktop) : ConsoleDesktop({}), desktop_(std::move(desktop)) {}
  app::MessageAnswer messageBox(const std::string& text, const std::string& caption, app::MessageButtons) override {
    held_.emplace_back(text, caption);
    return app::MessageAnswer::kOk;
  }
  void showHeld() {
    for (const auto& [text, caption] : held_) desktop_->messageBox(text, caption, app::MessageButtons::kOk);
  }

 private:
  const std::shared_ptr<app::Desktop> desktop_;
  std::vector<std::pair<std::string, std::string>> held_;
};

}  // namespace

void DailyVersionCheck::startIfDue(app::AppState& state) {
  if (checkedWithinADay()) return;
  auto finished = std::make_shared<std::promise<void>>();
  done_ = finished->get_future();
  const std::shared_ptr<app::Desktop> desktop = state.desktop;
  const app::ServiceEndpoint endpoint = state.service;
  const bool started = platform::startDetachedThread([desktop, endpoint, finished] {
    HeldBack heldBack(desktop);
    if (service::versionCheckThread(heldBack, endpoint)) {
      heldBack.showHeld();
      recordCheck();
    }
    finished->set_value();
  });
  if (!started) done_ = std::future<void>();
}

void DailyVersionCheck::waitMs(unsigned ms) {
  if (done_.valid()) done_.wait_for(std::chrono::milliseconds(ms));
}

}  // namespace console
