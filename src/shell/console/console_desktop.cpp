#include "shell/console/console_desktop.h"

#include <cstdio>

#include "app/app_state.h"
#include "platform/terminal.h"
#include "shell/console/console_app.h"
#include "shell/console/console_input.h"
#include "shell/console/plain_text.h"

namespace console {
namespace {

constexpr size_t kDialogFieldLimit = 99;  // the sign-in dialog's edits hold 99 characters
constexpr int kBarWidth = 30;
const char kClearLine[] = "\r\x1b[K";
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

// The progress window on a console: a bar on a terminal. Without one nobody
// watches it, and a log has no use for its steps.
class ConsoleProgress : public app::ProgressView {
 public:
  ConsoleProgress(ConsoleDesktop& desktop, bool drawBar) : desktop_(desktop), drawBar_(drawBar) {}
  ~ConsoleProgress() override { desktop_.clearBar(); }
  void setStatusText(const std::string& text) override {
    text_ = text;
    if (drawBar_) desktop_.drawBar(percent_, text_);
  }
  void setProgress(int percent) override {
    percent_ = percent;
    if (drawBar_) desktop_.drawBar(percent_, text_);
  }

 private:
  ConsoleDesktop& desktop_;
  bool drawBar_;
  std::string text_;
  int percent_ = 0;
};

bool isYes(const std::string& answer) { return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes"; }
bool isAnswer(const std::string& line) {
  return isYes(line) || line == "n" || line == "N" || line == "no" || line == "No";
}

// Windows texts use "\r\n"; a console's lines end in "\n".
std::string withLineFeeds(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

}  // namespace

ConsoleDesktop::ConsoleDesktop(ConsoleSettings settings)
    : settings_(settings), list_(app::centreOnDesktop(app::kInitialPlacement, kConsoleScreen)) {}

void ConsoleDesktop::writeLocked(const std::string& text) {
  if (barShown_) std::fputs(kClearLine, stderr);
  barShown_ = false;
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void ConsoleDesktop::note(const std::string& text) {
  std::lock_guard<std::mutex> lock(outputLock_);
  writeLocked(plainText(text, true));
}

void ConsoleDesktop::info(const std::string& text) {
  if (!settings_.quiet) note(text);
}

void ConsoleDesktop::error(const std::string& text) {
  std::lock_guard<std::mutex> lock(outputLock_);
  writeLocked("flingpost: " + plainText(text) + "\n");
  if (std::this_thread::get_id() == mainThread_) lastError_ = text;
}

void ConsoleDesktop::drawBar(int percent, const std::string& text) {
  if (settings_.quiet) return;
  std::lock_guard<std::mutex> lock(outputLock_);
  writeLocked(bar(percent) + " " + plainText(text));
  barShown_ = true;
}

void ConsoleDesktop::clearBar() { note(""); }

std::string ConsoleDesktop::lastError() const {
  std::lock_guard<std::mutex> lock(outputLock_);
  return lastError_;
}

app::MessageAnswer ConsoleDesktop::messageBox(const std::string& text, const std::string& caption,
                                              app::MessageButtons buttons) {
  const std::string shown = plainText(caption + ": " + text, true);
  if (buttons == app::MessageButtons::kOk) {
    std::lock_guard<std::mutex> lock(outputLock_);
    writeLocked(shown + "\n");
    // Kept as the box said it, for --json's own escaping; with "\n" line ends.
    if (std::this_thread::get_id() == mainThread_) lastError_ = withLineFeeds(caption + ": " + text);
    return app::MessageAnswer::kOk;
  }
  // --yes answered the question before it was asked.
  if (settings_.assumeYes) return app::MessageAnswer::kYes;
  return askYesNo(shown) ? app::MessageAnswer::kYes : app::MessageAnswer::kNo;
}

bool ConsoleDesktop::askYesNo(const std::string& question) {
  std::lock_guard<std::mutex> lock(outputLock_);
  writeLocked(question + " [y/N] ");
  std::string line;
  const bool got = readLine(line);
  if (platform::isTerminal(platform::Stream::kIn)) {
    if (!got) writeLocked("\n");
    return got && isYes(line);
  }
  // Without a terminal nobody types the answer: a script may give it as its
  // next line, and any other line is the script's next command.
  if (got && isAnswer(line)) {
    writeLocked(line + "\n");
    return isYes(line);
  }
  if (got) unreadLine(line);
  writeLocked("no\n(no answer on standard input: taken as no)\n");
  return false;
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
  note("User name: ");
  if (!readLine(user)) return false;
  note("Password: ");
  if (readSecretLine(password, kLongestInputLine) != LineRead::kLine) return false;
  const bool remember = askYesNo("Log in automatically?");
  login.username = user.substr(0, kDialogFieldLimit);
  login.password = password.substr(0, kDialogFieldLimit);
  login.hashedPassword.clear();
  login.autoLogin = remember;
  return true;
}

void ConsoleDesktop::showLinkCodeViewer(app::CodeKind kind, const std::string& text) {
  lastViewerText_ = text;
  note(kind == app::CodeKind::kHtml ? "HTML Codes:\n" : "BBCODE:\n");
  const std::string shown = plainText(text, true);
  std::fputs(shown.c_str(), stdout);
  if (!shown.empty()) std::fputs("\n", stdout);
  std::fflush(stdout);
}

void ConsoleDesktop::openInBrowser(const std::string& address) {
  std::printf("%s\n", plainText(address).c_str());
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
  if (settings_.progressBar) drawBar(0, currentFile_);
}

void ConsoleDesktop::percentDone(int percent) {
  if (settings_.progressBar) drawBar(percent, currentFile_);
}

bool ConsoleDesktop::stopRequested() { return platform::interruptRequested() != platform::Interrupt::kNone; }

void ConsoleDesktop::fileFinished(const std::string& path, const std::string& why) {
  if (!why.empty()) error(path + ": " + (stopRequested() ? stoppedBy() : why));
  else if (!settings_.progressBar) info("flingpost: " + plainText(path) + ": uploaded\n");
}

InterruptGuard::InterruptGuard() {
  platform::clearInterrupt();
  platform::catchInterrupts(true);
}

InterruptGuard::~InterruptGuard() { platform::catchInterrupts(false); }

std::string stoppedBy() {
  switch (platform::interruptRequested()) {
    case platform::Interrupt::kCtrlC: return "stopped by Ctrl-C";
    case platform::Interrupt::kTerminate: return "stopped by SIGTERM";
    case platform::Interrupt::kHangUp: return "stopped by SIGHUP";
    default: return "";
  }
}

int stoppedStatus() {
  switch (platform::interruptRequested()) {
    case platform::Interrupt::kCtrlC: return kExitInterrupted;
    case platform::Interrupt::kTerminate: return kExitTerminated;
    case platform::Interrupt::kHangUp: return kExitHungUp;
    default: return 0;
  }
}

}  // namespace console
