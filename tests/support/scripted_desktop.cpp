#include "support/scripted_desktop.h"

#include <algorithm>
#include <chrono>

#include "app/app_state.h"
#include "platform/clock.h"

namespace testsupport {

std::vector<std::string> ScriptedAlbumList::describe() const {
  std::vector<std::string> out;
  for (int i = 0; i < count(); ++i) {
    const app::Album* a = album(i);
    out.push_back(itemText(i) + ":" + (a ? std::to_string(a->id) + ":" + a->name + ":" + a->description : "null"));
  }
  return out;
}

// A progress view that reports each step to its desktop. The desktop outlives
// every view it hands out (tests keep it until the end).
class ScriptedDesktop::View : public app::ProgressView {
 public:
  View(ScriptedDesktop* desktop, int index) : desktop_(desktop), index_(index) {}
  ~View() override { desktop_->record({ProgressEvent::kDestroyed, index_, {}, {}, 0, 0, 0}); }
  void setStatusText(const std::string& text) override {
    desktop_->record({ProgressEvent::kText, index_, {}, text, 0, 0, 0});
  }
  void setProgress(int percent) override {
    desktop_->record({ProgressEvent::kBar, index_, {}, {}, percent, 0, 0});
  }

 private:
  ScriptedDesktop* desktop_;
  int index_;
};

ScriptedDesktop::ScriptedDesktop() = default;
ScriptedDesktop::~ScriptedDesktop() = default;

app::MessageAnswer ScriptedDesktop::messageBox(const std::string& text, const std::string& caption,
                                               app::MessageButtons buttons) {
  std::lock_guard<std::mutex> lock(mutex_);
  app::MessageAnswer answer = app::MessageAnswer::kOk;
  if (buttons == app::MessageButtons::kYesNo) {
    answer = app::MessageAnswer::kNo;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  boxes_.push_back({text, caption, buttons, answer, platform::tickCount(), seq_++, std::this_thread::get_id()});
  boxShown_.notify_all();
  return answer;
}

std::unique_ptr<app::ProgressView> ScriptedDesktop::showProgress(const app::Rect& over) {
  int index;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index = views_++;
  }
  record({ProgressEvent::kCreated, index, over, {}, 0, 0, 0});
  return std::make_unique<View>(this, index);
}

void ScriptedDesktop::record(ProgressEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  event.at = platform::tickCount();
  event.seq = seq_++;
  if (event.kind == ProgressEvent::kCreated) ++open_;
  if (event.kind == ProgressEvent::kDestroyed) --open_;
  progress_.push_back(std::move(event));
}

void ScriptedDesktop::answerNext(app::MessageAnswer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(answer);
}

std::vector<RecordedBox> ScriptedDesktop::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

size_t ScriptedDesktop::boxCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_.size();
}

bool ScriptedDesktop::waitForBoxes(size_t count, uint32_t ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return boxShown_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return boxes_.size() >= count; });
}

std::vector<ProgressEvent> ScriptedDesktop::progress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

int ScriptedDesktop::openProgressViews() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void ScriptedDesktop::setMenuCheck(int commandId, bool checked) {
  std::lock_guard<std::mutex> lock(mutex_);
  checked_.erase(std::remove(checked_.begin(), checked_.end(), commandId), checked_.end());
  if (checked) checked_.push_back(commandId);
}

std::vector<int> ScriptedDesktop::checkedMenuItems() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> v = checked_;
  std::sort(v.begin(), v.end());
  return v;
}

void ScriptedDesktop::scriptSignIn(const ScriptedSignIn& dialog) {
  std::lock_guard<std::mutex> lock(mutex_);
  signIns_.push_back(dialog);
}

bool ScriptedDesktop::runSignInDialog(app::LoginInfo& login) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (signIns_.empty()) return false;
  const ScriptedSignIn d = signIns_.front();
  signIns_.pop_front();
  if (!d.logIn) return false;
  login.username = d.username;
  login.password = d.password;
  login.hashedPassword.clear();
  login.autoLogin = d.autoLogin;
  return true;
}

void ScriptedDesktop::showLinkCodeViewer(app::CodeKind kind, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  viewers_.emplace_back(kind == app::CodeKind::kHtml ? "HTML Codes" : "BBCODE", text);
}

void ScriptedDesktop::openInBrowser(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  opened_.push_back(address);
}

void ScriptedDesktop::endProgram(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  endRequests_.push_back(exitCode);
}

void ScriptedDesktop::minimiseToTray() {
  std::lock_guard<std::mutex> lock(mutex_);
  trayCalls_.push_back("minimise");
}

void ScriptedDesktop::restoreFromTray() {
  std::lock_guard<std::mutex> lock(mutex_);
  trayCalls_.push_back("restore");
}

void ScriptedDesktop::removeTrayIcon() {
  std::lock_guard<std::mutex> lock(mutex_);
  trayCalls_.push_back("remove");
}

std::vector<std::pair<std::string, std::string>> ScriptedDesktop::viewers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return viewers_;
}

std::vector<std::string> ScriptedDesktop::openedAddresses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

std::vector<std::string> ScriptedDesktop::trayCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return trayCalls_;
}

std::vector<int> ScriptedDesktop::endRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endRequests_;
}

}  // namespace testsupport
