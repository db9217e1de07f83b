// flingpost: the console front-end of the Kestrova uploader.
#include <clocale>

#include "shell/console/console_app.h"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  return console::run(argc, argv);
}
