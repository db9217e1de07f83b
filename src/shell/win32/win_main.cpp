// The Windows program's entry: the start-up in its fixed order, the message
// loop, and the exit code the quit message carries.
#include <windows.h>

#include "shell/win32/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int exitCode = 0;
  {
    win32::MainWindow window(instance);  // menu 101, the state, the data folder
    window.create();                     // class, window, album list
    window.start();                      // network, version check, saved sign-in
    exitCode = window.runMessageLoop();
  }  // the state goes, and with it the window if it still exists
  return exitCode;
}
