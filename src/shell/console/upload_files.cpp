#include "shell/console/upload_files.h"

#include <fstream>

#include "platform/files.h"
#include "shell/console/console_input.h"

namespace console {

bool readFileList(const std::string& listPath, std::vector<std::string>* files, std::string* why) {
  std::string line;
  if (listPath == "-") {
    while (readLine(line))
      if (!line.empty()) files->push_back(line);
    return true;
  }
  // A stream, not the platform's regular-file reader: lists often come
  // through a pipe, as from the shell's <(find ...).
  std::ifstream in(listPath);
  if (!in) {
    *why = "cannot open the list " + listPath;
    return false;
  }
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) files->push_back(line);
  }
  if (in.bad()) {
    *why = "cannot read the list " + listPath;
    return false;
  }
  return true;
}

std::vector<std::string> unusableFiles(const std::vector<std::string>& files) {
  std::vector<std::string> bad;
  for (const std::string& path : files) {
    // The same open as the upload's own: a folder, a pipe or a device is refused.
    const platform::FileHandle file = platform::openForReadAnsi(path);
    if (file != platform::kInvalidFile) {
      platform::closeFile(file);
      continue;
    }
    const std::string reason = platform::osErrorText(platform::lastOsError());
    bad.push_back(path + ": " + (platform::pathExists(path) ? "not a readable regular file (" + reason + ")" : reason));
  }
  return bad;
}

}  // namespace console
