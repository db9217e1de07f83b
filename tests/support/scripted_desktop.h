#pragma once
// A desktop for tests: records every message box and every progress step with a
// time stamp and a sequence number (one numbering for both, so their order can be
// checked), answers Yes/No prompts from a script, and holds the album list in
// memory. Message boxes may come from any thread.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/desktop.h"
#include "app/memory_album_list.h"

namespace testsupport {

struct RecordedBox {
  std::string text;
  std::string caption;
  app::MessageButtons buttons;
  app::MessageAnswer answer;
  uint32_t at;  // platform::tickCount() when shown
  uint64_t seq;
  std::thread::id thread;
};

struct ProgressEvent {
  enum Kind { kCreated, kText, kBar, kDestroyed };
  Kind kind;
  int view;          // 0 for the first progress view, 1 for the next, ...
  app::Rect over;    // kCreated: the rectangle it was centred over
  std::string text;  // kText
  int value = 0;     // kBar
  uint32_t at;
  uint64_t seq;
};

class ScriptedAlbumList : public app::MemoryAlbumList {
 public:
  ScriptedAlbumList() : app::MemoryAlbumList(app::Rect{412, 134, 612, 634}) {}
  // "key:name:description" per item, for compact comparisons.
  std::vector<std::string> describe() const;
};

// What a sign-in dialog is scripted to do: press Log In with these entries, or Cancel.
struct ScriptedSignIn {
  bool logIn = true;
  std::string username;
  std::string password;
  bool autoLogin = false;
};

class ScriptedDesktop : public app::Desktop {
 public:
  ScriptedDesktop();
  ~ScriptedDesktop() override;

  app::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                app::MessageButtons buttons) override;
  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override;
  app::AlbumListView& albumList() override { return albums_; }
  app::Rect desktopRect() const override { return desktopRect_; }
  app::Rect mainWindowRect() const override { return mainWindowRect_; }
  void setMenuCheck(int commandId, bool checked) override;
  bool runSignInDialog(app::LoginInfo& login) override;
  void showLinkCodeViewer(app::CodeKind kind, const std::string& text) override;
  void openInBrowser(const std::string& address) override;
  void endProgram(int exitCode) override;
  void minimiseToTray() override;
  void restoreFromTray() override;
  void removeTrayIcon() override;
  app::TransferObserver* transferObserver() override { return observer_; }

  void setTransferObserver(app::TransferObserver* observer) { observer_ = observer; }
  // The next sign-in dialogs, in order; an unscripted dialog is cancelled.
  void scriptSignIn(const ScriptedSignIn& dialog);
  // Menu items that carry a check mark now.
  std::vector<int> checkedMenuItems() const;
  // Viewers shown (title and text), addresses opened, tray calls in order
  // ("minimise", "restore", "remove"), and the exit codes asked for.
  std::vector<std::pair<std::string, std::string>> viewers() const;
  std::vector<std::string> openedAddresses() const;
  std::vector<std::string> trayCalls() const;
  std::vector<int> endRequests() const;

  // Script: the answers to the next Yes/No boxes, in order. An unscripted Yes/No
  // box answers No (the cautious answer), and is recorded like any other.
  void answerNext(app::MessageAnswer answer);
  void setDesktopRect(const app::Rect& rect) { desktopRect_ = rect; }

  std::vector<RecordedBox> boxes() const;
  size_t boxCount() const;
  // Waits at most `ms` until at least `count` boxes were shown.
  bool waitForBoxes(size_t count, uint32_t ms) const;
  std::vector<ProgressEvent> progress() const;
  // Progress views created and not yet destroyed.
  int openProgressViews() const;
  ScriptedAlbumList& albums() { return albums_; }

 private:
  class View;
  void record(ProgressEvent event);

  mutable std::mutex mutex_;
  mutable std::condition_variable boxShown_;
  std::vector<RecordedBox> boxes_;
  std::vector<ProgressEvent> progress_;
  std::deque<app::MessageAnswer> answers_;
  uint64_t seq_ = 0;
  int views_ = 0;
  int open_ = 0;
  ScriptedAlbumList albums_;
  app::TransferObserver* observer_ = nullptr;
  std::deque<ScriptedSignIn> signIns_;
  std::vector<int> checked_;
  std::vector<std::pair<std::string, std::string>> viewers_;
  std::vector<std::string> opened_;
  std::vector<std::string> trayCalls_;
  std::vector<int> endRequests_;
  app::Rect desktopRect_{0, 0, 1024, 768};
  app::Rect mainWindowRect_{412, 134, 612, 634};
};

}  // namespace testsupport
