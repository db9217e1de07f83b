#include "shell/console/console_desktop.h"

#include <cstdio>
#include <iostream>

#include "app/app_state.h"
#include "platform/terminal.h"

namespace console {
namespace {

constexpr size_t kDialogFieldLimit = 99;  // the sign-in dialog's edits hold 99 characters
constexpr int kBarWidth = 30;
// A console has no screen geometry; the window's would-be rectangle keeps the
// shared start-up arithmetic meaningful.
constexpr app::Rect kConsoleScreen{0, 0, 1024, 768};

std::string bar(int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int filled = percent * kBarWidth / 100;
  return "[" + std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), '.') + "] " +
         std::to_string(percent) + "%";
}

// The progress window on a console.
class ConsoleProgress : public app::ProgressView {
 public:
  ConsoleProgress(ConsoleDesktop& desktop, bool drawBar) : desktop_(desktop), drawBar_(drawBar) {}
  ~ConsoleProgress() override {
    if (drawBar_) desktop_.note("\r\x1b[K");
  }
  void setStatusText(const std::string& text) override {
    text_ = toTerminalText(text);
    if (drawBar_) redraw();
    else desktop_.note(text_ + "\n");
  }
  void setProgress(int percent) override {
    percent_ = percent;
    if (drawBar_) redraw();
    else desktop_.note("progress " + std::to_string(percent) + "%\n");
  }

 private:
  void redraw() { desktop_.note("\r\x1b[K" + bar(percent_) + " " + text_); }

  ConsoleDesktop& desktop_;
  bool drawBar_;
  std::string text_;
  int percent_ = 0;
};

std::string askLine(const std::string& prompt) {
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return std::string();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool isYes(const std::string& answer) { return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes"; }

}  // namespace

std::string toTerminalText(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

ConsoleDesktop::ConsoleDesktop(ConsoleSettings settings)
    : settings_(settings), list_(app::centreOnDesktop(app::kInitialPlacement, kConsoleScreen)) {}

void ConsoleDesktop::note(const std::string& text) {
  std::lock_guard<std::mutex> lock(outputLock_);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

app::MessageAnswer ConsoleDesktop::messageBox(const std::string& text, const std::string& caption,
                                              app::MessageButtons buttons) {
  std::lock_guard<std::mutex> lock(outputLock_);
  const std::string shown = caption + ": " + toTerminalText(text);
  if (buttons == app::MessageButtons::kOk) {
    std::fprintf(stderr, "%s\n", shown.c_str());
    std::fflush(stderr);
    return app::MessageAnswer::kOk;
  }
  if (settings_.assumeYes) {
    std::fprintf(stderr, "%s yes\n", shown.c_str());
    std::fflush(stderr);
    return app::MessageAnswer::kYes;
  }
  return isYes(askLine(shown + " [y/N] ")) ? app::MessageAnswer::kYes : app::MessageAnswer::kNo;
}

std::unique_ptr<app::ProgressView> ConsoleDesktop::showProgress(const app::Rect&) {
  return std::make_unique<ConsoleProgress>(*this, settings_.progressBar);
}

app::Rect ConsoleDesktop::desktopRect() const { return kConsoleScreen; }

app::Rect ConsoleDesktop::mainWindowRect() const { return list_.screenRect(); }

void ConsoleDesktop::setMenuCheck(int, bool) {
  // The console has no menu; its options are shown by the "options" command.
}

bool ConsoleDesktop::runSignInDialog(app::LoginInfo& login) {
  std::string user, password;
  std::fputs("User name: ", stderr);
  std::fflush(stderr);
  if (!std::getline(std::cin, user)) return false;
  if (!user.empty() && user.back() == '\r') user.pop_back();
  std::fputs("Password: ", stderr);
  std::fflush(stderr);
  if (!platform::readSecretLine(password)) return false;
  const bool remember = isYes(askLine("Log in automatically? [y/N] "));
  login.username = user.substr(0, kDialogFieldLimit);
  login.password = password.substr(0, kDialogFieldLimit);
  login.hashedPassword.clear();
  login.autoLogin = remember;
  return true;
}

void ConsoleDesktop::showLinkCodeViewer(const std::string& title, const std::string& text) {
  lastViewerText_ = text;
  note(title + ":\n");
  const std::string shown = toTerminalText(text);
  std::fputs(shown.c_str(), stdout);
  if (!shown.empty()) std::fputs("\n", stdout);
  std::fflush(stdout);
}

void ConsoleDesktop::openInBrowser(const std::string& address) {
  std::printf("%s\n", address.c_str());
  std::fflush(stdout);
  // Only a person at a terminal wants a browser window; scripts get the address.
  if (platform::isTerminal(platform::Stream::kOut) && !platform::openInBrowser(address)) {
    note("No browser could be started; open the address above yourself.\n");
  }
}

void ConsoleDesktop::endProgram(int exitCode) {
  endRequested_ = true;
  exitCode_ = exitCode;
}

void ConsoleDesktop::fileStarted(const std::string& name) {
  currentFile_ = name;
  if (settings_.progressBar) note("\r\x1b[K" + bar(0) + " " + currentFile_);
}

void ConsoleDesktop::percentDone(int percent) {
  if (settings_.progressBar) note("\r\x1b[K" + bar(percent) + " " + currentFile_);
}

bool ConsoleDesktop::stopRequested() { return platform::interruptRequested(); }

InterruptGuard::InterruptGuard() {
  platform::clearInterrupt();
  platform::catchInterrupts(true);
}

InterruptGuard::~InterruptGuard() { platform::catchInterrupts(false); }


}  // namespace console
