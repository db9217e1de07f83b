// The Windows program's entry: the checks that come before everything else, the
// start-up in its fixed order, the message loop, and the exit code the quit
// message carries.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/data_folder_lock.h"
#include "app/proxy.h"
#include "app/service_endpoint.h"
#include "shell/win32/main_window.h"
#include "shell/win32/running_window.h"

namespace {

constexpr int kExitCannotStart = 1;
// How long a second start looks for the window of the run that holds the folder.
constexpr uint32_t kFindRunningWindowMs = 2000;

// Before the main window exists: a box of its own, then the program ends.
int refuseToStart(const std::string& problem) {
  MessageBoxA(nullptr, problem.c_str(), "Setup Error", MB_OK);
  return kExitCannotStart;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  app::ServiceEndpoint service;
  std::string problem;
  // The system's proxy setting is read in the background from here on: its
  // detection may take seconds, which the window need not wait for.
  if (!app::chooseServiceEndpoint(nullptr, &service, &problem) || !app::chooseCaFile(nullptr, &service, &problem) ||
      !app::chooseProxy(nullptr, &service, &problem))
    return refuseToStart(problem);
  // Held before the state empties the link-code cache, until the program ends.
  const std::unique_ptr<app::DataFolderLock> folderLock = app::lockDataFolder(0, nullptr, &problem);
  if (!folderLock) {
    // Started again in the same folder: the running window comes forward instead.
    return win32::bringRunningWindowForward(kFindRunningWindowMs) ? 0 : refuseToStart(problem);
  }

  int exitCode = 0;
  {
    win32::MainWindow window(instance);  // menu 101, the state, the data folder
    window.state().service = service;
    window.create();                     // class, window, album list
    const win32::RunningWindowMark mark(window.hwnd());  // found by a second start
    window.start();                      // network, version check, saved sign-in
    exitCode = window.runMessageLoop();
  }  // the state goes, and with it the window if it still exists
  return exitCode;
}
