#pragma once
// The files of a console upload: named on the command line, in a --files-from
// list or in the session's drop command, and checked before the service is
// asked anything.
#include <string>
#include <vector>

#include "upload/upload_batch.h"

namespace console {

// The files of one console drop; the album is chosen by its list position.
class ConsoleDrop : public upload::DroppedFiles {
 public:
  ConsoleDrop(int albumIndex, std::vector<std::string> paths) : index_(albumIndex), paths_(std::move(paths)) {}
  int albumIndex(app::AlbumListView&) override { return index_; }
  int count() override { return int(paths_.size()); }
  std::string path(int index) override { return paths_[size_t(index)]; }
  void finish() override {}

 private:
  int index_;
  std::vector<std::string> paths_;
};

// The most files one upload takes, those named and those listed together.
constexpr size_t kMostFiles = 100000;
// The longest line of a list: the longest path the system opens (Linux's
// PATH_MAX, its closing zero byte included, is 4096).
constexpr size_t kLongestListLine = 4095;

// Appends the paths listed in `listPath` ("-": standard input), one per line;
// empty lines are skipped. False, with *why, when the list cannot be read,
// would bring the files to more than kMostFiles, or has a line that is no
// path: longer than kLongestListLine, or holding a zero byte.
bool readFileList(const std::string& listPath, std::vector<std::string>* files, std::string* why);

// One line "NAME: REASON" for each file that cannot be uploaded: it is missing,
// not a regular file, or not readable. Empty when every file can be.
std::vector<std::string> unusableFiles(const std::vector<std::string>& files);

}  // namespace console
