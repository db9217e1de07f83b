#include "shell/console/upload_files.h"

#include <fstream>

#include "platform/files.h"
#include "shell/console/console_input.h"

namespace console {

bool readFileList(const std::string& listPath, std::vector<std::string>* files, std::string* why) {
  // A stream, not the platform's regular-file reader: lists often come
  // through a pipe, as from the shell's <(find ...).
  std::ifstream file;
  if (listPath != "-") {
    file.open(listPath);
    if (!file) {
      *why = "cannot open the list " + listPath;
      return false;
    }
  }
  const std::string list = listPath == "-" ? std::string("the list on standard input") : "the list " + listPath;
  std::string line;
  for (size_t number = 1;; ++number) {
    const LineRead read = listPath == "-" ? readInputLine(line, kLongestListLine)
                                          : readLineFrom(file, line, kLongestListLine);
    if (read == LineRead::kEnd) break;
    if (read == LineRead::kTooLong || line.find('\0') != std::string::npos) {
      *why = "line " + std::to_string(number) + " of " + list + " is no path: " +
             (read == LineRead::kTooLong ? "it is longer than " + std::to_string(kLongestListLine) + " bytes"
                                         : std::string("it holds a zero byte"));
      return false;
    }
    if (line.empty()) continue;
    if (files->size() >= kMostFiles) {
      *why = list + " names too many files: one upload takes at most " + std::to_string(kMostFiles);
      return false;
    }
    files->push_back(line);
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
