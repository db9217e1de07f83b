#pragma once
// The console front-end's desktop: message boxes become lines on standard error
// (their caption, then their text), questions are asked on the terminal, the
// progress window is a line (a bar when standard error is a terminal), and the
// album list lives in memory.
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/desktop.h"
#include "app/memory_album_list.h"

namespace console {

struct ConsoleSettings {
  bool assumeYes = false;    // answer every Yes/No question with Yes
  bool progressBar = false;  // standard error is a terminal: draw bars
  bool quiet = false;        // results and errors only: no progress, no echoed answers
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

  // TransferObserver: a per-file bar on a terminal; Ctrl-C stops the upload.
  void fileStarted(const std::string& name) override;
  void percentDone(int percent) override;
  bool stopRequested() override;

  app::MemoryAlbumList& consoleList() { return list_; }
  bool endRequested() const { return endRequested_; }
  int exitCode() const { return exitCode_; }
  // The last text a viewer showed (the console's Copy takes it).
  const std::string& lastViewerText() const { return lastViewerText_; }

  // Each of these starts on a line of its own: a bar drawn before is cleared.
  // Prints `text` to standard error.
  void note(const std::string& text);
  // The same, but not with the quiet setting: progress and other news.
  void info(const std::string& text);
  // Prints "flingpost: " + text as a line and keeps `text` as lastError().
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

// Windows texts use "\r\n"; the terminal wants "\n".
std::string toTerminalText(std::string text);

// Ctrl-C handling during uploads: while a guard lives, Ctrl-C asks the running
// upload to stop instead of ending the program.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
};

}  // namespace console
