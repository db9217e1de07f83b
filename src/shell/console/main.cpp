// flingpost: the console front-end of the Kestrova uploader.
#include <clocale>

#include "platform/terminal.h"
#include "shell/console/console_app.h"

int main(int argc, char** argv) {
  // First of all: even the locale's set-up opens files.
  if (!platform::openStandardStreams()) return console::kExitFailed;
  std::setlocale(LC_CTYPE, "");
  return console::run(argc, argv);
}
