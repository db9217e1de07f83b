#pragma once
// A desktop for tests: records every message box and every progress step with a
// time stamp and a sequence number (one numbering for both, so their order can be
// checked), answers Yes/No prompts from a script, and holds the album list in
// memory. Message boxes may come from any thread. Dialogs, menus, the tray and
// the browser do nothing here: the Windows program's tests drive the real ones.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop.h"
#include "app/memory_album_list.h"
#include "platform/clock.h"

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
  std::vector<std::string> describe() const {
    std::vector<std::string> out;
    for (int i = 0; i < count(); ++i) {
      const app::Album* a = album(i);
      out.push_back(itemText(i) + ":" + (a ? std::to_string(a->id) + ":" + a->name + ":" + a->description : "null"));
    }
    return out;
  }
};

class ScriptedDesktop : public app::Desktop {
 public:
  app::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                app::MessageButtons buttons) override {
    std::lock_guard<std::mutex> lock(mutex_);
    app::MessageAnswer answer = app::MessageAnswer::kOk;
    if (buttons == app::MessageButtons::kYesNo) {
      answer = answers_.empty() ? app::MessageAnswer::kNo : answers_.front();
      if (!answers_.empty()) answers_.pop_front();
    }
    boxes_.push_back({text, caption, buttons, answer, platform::tickCount(), seq_++, std::this_thread::get_id()});
    boxShown_.notify_all();
    return answer;
  }
  std::unique_ptr<app::ProgressView> showProgress(const app::Rect& over) override {
    return std::make_unique<View>(this, record({ProgressEvent::kCreated, 0, over, {}, 0, 0, 0}));
  }
  app::AlbumListView& albumList() override { return albums_; }
  app::Rect desktopRect() const override { return desktopRect_; }
  app::Rect mainWindowRect() const override { return app::Rect{412, 134, 612, 634}; }
  void setMenuCheck(int, bool) override {}
  bool runSignInDialog(app::LoginInfo&) override { return false; }  // cancelled
  void showLinkCodeViewer(app::CodeKind, const std::string&) override {}
  void openInBrowser(const std::string&) override {}
  void endProgram(int) override {}
  void minimiseToTray() override {}
  void restoreFromTray() override {}
  void removeTrayIcon() override {}
  app::TransferObserver* transferObserver() override { return observer_; }

  void setTransferObserver(app::TransferObserver* observer) { observer_ = observer; }
  // Script: the answers to the next Yes/No boxes, in order. An unscripted Yes/No
  // box answers No (the cautious answer), and is recorded like any other.
  void answerNext(app::MessageAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
  }
  void setDesktopRect(const app::Rect& rect) { desktopRect_ = rect; }

  std::vector<RecordedBox> boxes() const { return copyOf(boxes_); }
  size_t boxCount() const { return boxes().size(); }
  // Waits at most `ms` until at least `count` boxes were shown.
  bool waitForBoxes(size_t count, uint32_t ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return boxShown_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return boxes_.size() >= count; });
  }
  std::vector<ProgressEvent> progress() const { return copyOf(progress_); }
  // Progress views created and not yet destroyed.
  int openProgressViews() const { return copyOf(open_); }
  ScriptedAlbumList& albums() { return albums_; }

 private:
  // A progress view that reports each step to its desktop, which outlives it.
  class View : public app::ProgressView {
   public:
    View(ScriptedDesktop* desktop, int index) : desktop_(desktop), index_(index) {}
    ~View() override { desktop_->record({ProgressEvent::kDestroyed, index_, {}, {}, 0, 0, 0}); }
    void setStatusText(const std::string& text) override {
      desktop_->record({ProgressEvent::kText, index_, {}, text, 0, 0, 0});
    }
    void setProgress(int percent) override { desktop_->record({ProgressEvent::kBar, index_, {}, {}, percent, 0, 0}); }

   private:
    ScriptedDesktop* desktop_;
    int index_;
  };

  // Records a step; a new view gets the next number, which is answered.
  int record(ProgressEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    event.at = platform::tickCount();
    event.seq = seq_++;
    if (event.kind == ProgressEvent::kCreated) event.view = views_++, ++open_;
    if (event.kind == ProgressEvent::kDestroyed) --open_;
    progress_.push_back(event);
    return event.view;
  }
  template <class T>
  T copyOf(const T& value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value;
  }

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
  app::Rect desktopRect_{0, 0, 1024, 768};
};

}  // namespace testsupport
