#pragma once
// A second start in the same working folder. The run that holds the data folder
// marks its main window with the folder; a second start finds that window, asks
// it to come forward (out of the notification area when it is hidden there) and
// ends quietly, as programs that run once per user do.
#include <windows.h>

#include <cstdint>
#include <string>

namespace win32 {

// Posted to the marked window by a second start.
constexpr UINT kComeForwardMessage = WM_APP + 1;

// The working folder's data folder as the system knows it: the volume and file
// index of its lock file, the same however the path to it is spelled. Empty
// when the lock file cannot be opened.
std::string dataFolderIdentity();

// Marks `window` as the main window of the run that holds the data folder, for
// the life of this object (a global atom of the folder's identity, named by a
// property of the window).
class RunningWindowMark {
 public:
  explicit RunningWindowMark(HWND window);
  ~RunningWindowMark();
  RunningWindowMark(const RunningWindowMark&) = delete;
  RunningWindowMark& operator=(const RunningWindowMark&) = delete;

 private:
  HWND window_;
  ATOM atom_ = 0;
};

// Finds the marked window of this data folder, waiting up to `waitMs` for one
// still being made (the other run locks the folder before its window exists),
// lets it take the foreground and posts it kComeForwardMessage. False when no
// such window turns up: the holder is a console run, say.
bool bringRunningWindowForward(uint32_t waitMs);

}  // namespace win32
