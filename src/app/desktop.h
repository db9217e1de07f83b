#pragma once
// What the client needs from the desktop it runs on. Each front-end (the Win32
// GUI, the console) implements it; tests use a scripted one. Nothing here names
// a window type, so everything from src/app upwards stays platform-neutral.
//
// Texts are 8-bit, in the process's ANSI code set, with "\r\n" line breaks as
// the Windows message box expects; a front-end converts as it needs.
//
// Unless a member says otherwise it is called on the main thread only.
//
// How the client's own functions fail: they answer bool. One that meets the
// user tells its failure itself, in a box here, and answers false; its caller
// only decides what comes next. One beneath those has no box to show: it hands
// its words back in a trailing std::string* why (when given), for its caller's
// message. What cannot fail answers nothing.
#include <memory>
#include <string>

#include "app/album.h"
#include "app/rect.h"
#include "platform/charset.h"

namespace app {

enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

// The small progress window: one line of text over a bar from 0 to 100. It is
// visible from its creation and goes away when its owner destroys it.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void setStatusText(const std::string& text) = 0;
  // The same for a UTF-8 text: a dropped file's name, which the ANSI code set
  // may not spell. A view that shows ANSI text alone shows '?' for what that
  // code set lacks.
  virtual void setStatusTextUtf8(const std::string& text) {
    setStatusText(platform::CodeSet().fromUtf16(platform::utf8ToUtf16(text)));
  }
  // `percent` is passed on unchecked; callers keep it within 0..100.
  virtual void setProgress(int percent) = 0;
};

// The album list that fills the main window. Items keep the order in which they
// were added; each holds a key text (the album id in decimal) and owns its Album.
class AlbumListView {
 public:
  virtual ~AlbumListView() = default;
  // Removes every item and destroys its Album.
  virtual void clear() = 0;
  // Appends an item; the list owns `album` from now on.
  virtual void addAlbum(const std::string& text, std::unique_ptr<Album> album) = 0;
  virtual int count() const = 0;
  // The key text and the album of item `index`; "" and nullptr outside 0..count()-1.
  virtual std::string itemText(int index) const = 0;
  virtual const Album* album(int index) const = 0;
  // The list's window rectangle in screen coordinates.
  virtual Rect screenRect() const = 0;
  // The selected item, or -1 when none is.
  virtual int selectedIndex() const = 0;
};

// Follows the bytes of each upload where a desktop wants to show them, and lets
// the user stop a running upload. The Windows program has none.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // `name` in the form of the drop's paths (see upload::DroppedFiles).
  virtual void fileStarted(const std::string& name) = 0;
  virtual void percentDone(int percent) = 0;
  // Asked while the upload runs; true stops it (the file then counts as failed).
  virtual bool stopRequested() = 0;
  // The file at `path` is done with: `error` says why it failed, and is empty
  // when its link codes were made.
  virtual void fileFinished(const std::string& path, const std::string& error) = 0;
};

struct LoginInfo;

// The two kinds of link code, each with its own cache file and viewer.
enum class CodeKind { kHtml, kBbcode };

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal box owned by the main window; returns when the user has answered
  // (kOk for an OK box). May be called from any thread: the version check shows
  // its news from a thread of its own, possibly while the main thread shows a
  // box of its own.
  virtual MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                   MessageButtons buttons) = 0;

  // Creates a progress view centred over `over` (screen coordinates).
  virtual std::unique_ptr<ProgressView> showProgress(const Rect& over) = 0;

  virtual AlbumListView& albumList() = 0;

  // The whole screen, and the main window's rectangle, in screen coordinates.
  virtual Rect desktopRect() const = 0;
  virtual Rect mainWindowRect() const = 0;

  // Puts or removes the check mark of a menu item (by command id).
  virtual void setMenuCheck(int commandId, bool checked) = 0;
  // The modal sign-in dialog over `login`: true when the user pressed Log In
  // (user name, password and the automatic choice are then stored, the digest
  // emptied); false for Cancel, with `login` untouched.
  virtual bool runSignInDialog(LoginInfo& login) = 0;
  // The modal viewer of one kind of link code ("HTML Codes" or "BBCODE"),
  // showing `text`, with Copy and Close.
  virtual void showLinkCodeViewer(CodeKind kind, const std::string& text) = 0;
  // Opens an address in the user's web browser; the outcome is not reported.
  virtual void openInBrowser(const std::string& address) = 0;
  // Asks the program to end with `exitCode` once the current message is handled.
  virtual void endProgram(int exitCode) = 0;
  // The main window hides to the notification area, and comes back.
  virtual void minimiseToTray() = 0;
  virtual void restoreFromTray() = 0;
  virtual void removeTrayIcon() = 0;
  // The observer of upload bytes, or nullptr (the default) for none.
  virtual TransferObserver* transferObserver() { return nullptr; }
};

}  // namespace app
