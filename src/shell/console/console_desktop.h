#pragma once
// The console front-end's desktop: message boxes become lines on standard error
// (their caption, then their text), questions are asked on the terminal, the
// progress window is a bar when standard error is a terminal (and nothing
// otherwise), and the album list lives in memory. Everything it writes goes
// through plainText.
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop.h"
#include "app/memory_album_list.h"

namespace console {

struct ConsoleSettings {
  bool assumeYes = false;    // answer every Yes/No question with Yes, silently
  bool progressBar = false;  // standard error is a terminal: draw bars
  bool quiet = false;        // results and errors only: no progress, no news
};

class ConsoleDesktop : public app::Desktop, public app::TransferObserver {
 public:
  explicit ConsoleDesktop(ConsoleSettings settings);

  // OK boxes are printed (and, from the main thread, kept as lastError()); a
  // Yes/No question is asked on a terminal. Without one it takes an answer line
  // ("y", "yes", "n", "no") when standard input has one next, and otherwise
  // answers No and leaves that line unread.
  app::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                app::MessageButtons buttons) override;
  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override;
  app::AlbumListView& albumList() override { return list_; }
  app::Rect desktopRect() const override;
  app::Rect mainWindowRect() const override;
  void setMenuCheck(int commandId, bool checked) override;
  bool runSignInDialog(app::LoginInfo& login) override;
  void showLinkCodeViewer(app::CodeKind kind, const std::string& text) override;
  void openInBrowser(const std::string& address) override;
  void endProgram(int exitCode) override;
  void minimiseToTray() override {}
  void restoreFromTray() override {}
  void removeTrayIcon() override {}
  app::TransferObserver* transferObserver() override { return this; }

  // TransferObserver: a per-file bar on a terminal; Ctrl-C, SIGTERM and SIGHUP
  // stop the upload. Each finished file that failed gets a line with its
  // reason; without a terminal (and unless quiet) each uploaded one gets a
  // line too, "flingpost: PATH: uploaded", as the bar's stand-in.
  void fileStarted(const std::string& name) override;
  void percentDone(int percent) override;
  bool stopRequested() override;
  void fileFinished(const std::string& path, const std::string& error) override;

  app::MemoryAlbumList& consoleList() { return list_; }
  bool endRequested() const { return endRequested_; }
  int exitCode() const { return exitCode_; }
  // The last text a viewer showed (the console's Copy takes it).
  const std::string& lastViewerText() const { return lastViewerText_; }

  // Each of these starts on a line of its own: a bar drawn before is cleared.
  // Prints `text` to standard error; its line breaks stay.
  void note(const std::string& text);
  // The same, but not with the quiet setting: progress and other news.
  void info(const std::string& text);
  // Prints "flingpost: " + text as one line and keeps `text` as lastError().
  void error(const std::string& text);
  // Draws the bar line: `percent` and `text`.
  void drawBar(int percent, const std::string& text);
  // Removes a drawn bar, before results go to standard output.
  void clearBar();
  // The last failure reported on the main thread, as printed; empty when none.
  std::string lastError() const;
  const ConsoleSettings& settings() const { return settings_; }

 private:
  void writeLocked(const std::string& text);
  bool askYesNo(const std::string& question);

  ConsoleSettings settings_;
  app::MemoryAlbumList list_;
  mutable std::mutex outputLock_;
  const std::thread::id mainThread_ = std::this_thread::get_id();
  bool barShown_ = false;
  std::string lastError_;
  bool endRequested_ = false;
  int exitCode_ = 0;
  std::string lastViewerText_;
  std::string currentFile_;
};

// Ctrl-C handling during uploads: while a guard lives, Ctrl-C, SIGTERM and
// SIGHUP ask the running upload to stop instead of ending the program.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
};

// What stopped the upload, as its messages name it ("stopped by Ctrl-C",
// "stopped by SIGTERM", "stopped by SIGHUP"), and the exit status that says
// so (130, 143, 129); 0 when nothing stopped it.
std::string stoppedBy();
int stoppedStatus();

}  // namespace console
