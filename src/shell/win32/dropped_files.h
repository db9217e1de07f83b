#pragma once
// A drop of files from the shell on the album list, read from its drop handle.
// The paths are read wide and carried as UTF-8: read through the ANSI code
// page, a character it lacks became '?' (no such file) or a look-alike, which
// could name another file that exists, and that file would be uploaded.
#include <windows.h>
#include <shellapi.h>

#include "upload/upload_batch.h"

namespace win32 {

class HdropFiles final : public upload::DroppedFiles {
 public:
  // `list` is the list box the files were dropped on.
  HdropFiles(HDROP drop, HWND list) : drop_(drop), list_(list) {}
  // Releases the drop if nobody did.
  ~HdropFiles() override { finish(); }
  HdropFiles(const HdropFiles&) = delete;
  HdropFiles& operator=(const HdropFiles&) = delete;

  // The item under the drop point (auto-scrolling the list), or -1.
  int albumIndex(app::AlbumListView& list) override;
  int count() override;
  // The whole path, however long; the one part of a name that UTF-8 cannot
  // carry (a lone UTF-16 surrogate) arrives as U+FFFD, and such a file then
  // fails as not found rather than standing for another.
  std::string path(int index) override;
  bool pathsInUtf8() const override { return true; }
  void finish() override;

 private:
  HDROP drop_;
  HWND list_;
};

}  // namespace win32
